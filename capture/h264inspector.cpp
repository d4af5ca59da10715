#include "h264inspector.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
}

#include <algorithm>

H264Inspector::H264Inspector() = default;

H264Inspector::~H264Inspector()
{
    close();
}

void H264Inspector::close()
{
    av_parser_close(m_parser);
    m_parser = nullptr;
    avcodec_free_context(&m_codec);
    av_bsf_free(&m_extract);
    av_packet_free(&m_look);
    m_parameterSets.clear();
}

bool H264Inspector::open(const AVCodecParameters* parameters)
{
    close();
    const AVBitStreamFilter* filter = av_bsf_get_by_name("extract_extradata");
    m_parser = av_parser_init(AV_CODEC_ID_H264);
    m_codec = avcodec_alloc_context3(nullptr);
    m_look = av_packet_alloc();
    if (!parameters || !filter || !m_parser || !m_codec || !m_look ||
        av_bsf_alloc(filter, &m_extract) < 0 ||
        avcodec_parameters_copy(m_extract->par_in, parameters) < 0 || av_bsf_init(m_extract) < 0) {
        close();
        return false;
    }
    // Each packet is one whole access unit, as a UVC frame is.
    m_parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    return true;
}

bool H264Inspector::inspect(AVPacket* packet)
{
    if (!m_parser || !packet->data || packet->size <= 0) {
        return false;
    }
    uint8_t* unit = nullptr;
    int unitSize = 0;
    av_parser_parse2(m_parser, m_codec, &unit, &unitSize, packet->data, packet->size,
                     AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (m_parser->key_frame == 1) {
        packet->flags |= AV_PKT_FLAG_KEY;
    } else {
        packet->flags &= ~AV_PKT_FLAG_KEY;
    }
    // The filter looks at a second reference; what it hands back is only
    // read for the parameter sets it found.
    if (av_packet_ref(m_look, packet) < 0 || av_bsf_send_packet(m_extract, m_look) < 0) {
        av_packet_unref(m_look);
        return false;
    }
    bool changed = false;
    while (av_bsf_receive_packet(m_extract, m_look) == 0) {
        size_t size = 0;
        const uint8_t* sets = av_packet_get_side_data(m_look, AV_PKT_DATA_NEW_EXTRADATA, &size);
        if (sets && size > 0 &&
            !std::equal(sets, sets + size, m_parameterSets.begin(), m_parameterSets.end())) {
            m_parameterSets.assign(sets, sets + size);
            changed = true;
        }
        av_packet_unref(m_look);
    }
    return changed;
}
