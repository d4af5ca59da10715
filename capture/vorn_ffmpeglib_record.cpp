#include "vorn_ffmpeglib.h"

void Vorn_FFmpeglib::SetRecordFileName(std::string fileName)
{
    m_recordFileName = std::move(fileName);
}

void Vorn_FFmpeglib::SetCaptureMicrophone(std::string name, int ordinal)
{
    m_microphoneName = std::move(name);
    m_microphoneOrdinal = ordinal;
}

bool Vorn_FFmpeglib::StartRecord()
{
    return false;
}

bool Vorn_FFmpeglib::StopRecord()
{
    return false;
}
