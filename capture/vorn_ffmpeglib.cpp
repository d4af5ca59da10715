#include "vorn_ffmpeglib.h"

class CaptureSession
{
};

Vorn_FFmpeglib::Vorn_FFmpeglib(QObject* parent) : QObject(parent) {}

Vorn_FFmpeglib::~Vorn_FFmpeglib() = default;

void Vorn_FFmpeglib::SetVideoSize(std::string) {}
void Vorn_FFmpeglib::SetCapture(std::string, int) {}
bool Vorn_FFmpeglib::StartCapture() { return false; }
bool Vorn_FFmpeglib::CaptureIsOpen() { return false; }
void Vorn_FFmpeglib::StopCapture() {}
