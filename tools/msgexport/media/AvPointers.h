// Owners of FFmpeg's objects, each freed with its own call.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

struct CodecFree
{
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};

struct FrameFree
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

struct PacketFree
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
