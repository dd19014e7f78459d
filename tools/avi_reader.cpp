#include "tools/avi_reader.h"

#include <algorithm>
#include <cctype>

#include "convert/source_conversion.h"
#include "decoder/picture_split.h"

namespace kmqx {
namespace {

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
int32_t I32(const uint8_t* p) {
    return int32_t(U32(p));
}

uint32_t Tag(const char* t) {
    return MakeFourCC(t[0], t[1], t[2], t[3]);
}

// FourCCs compared without regard to ASCII case ("kmqx" is "KMQX").
bool SameFourCC(uint32_t a, uint32_t b) {
    for (int i = 0; i < 4; ++i) {
        const int ca = std::toupper(int((a >> (8 * i)) & 0xFF));
        const int cb = std::toupper(int((b >> (8 * i)) & 0xFF));
        if (ca != cb) return false;
    }
    return true;
}

struct Chunk {
    uint32_t id;
    uint32_t listType;  // for LIST and RIFF chunks
    size_t data;        // offset of the data (after the list type for lists)
    size_t size;        // of the data, within the parent
};

// Walks the chunks of [begin, end); malformed tails end the walk.
template <typename Visit>
void ForEachChunk(const std::vector<uint8_t>& file, size_t begin, size_t end, Visit visit) {
    size_t pos = begin;
    while (pos + 8 <= end) {
        const uint32_t id = U32(&file[pos]);
        const size_t declared = U32(&file[pos + 4]);
        const size_t available = end - pos - 8;
        const size_t size = declared < available ? declared : available;
        Chunk chunk{id, 0, pos + 8, size};
        if (id == Tag("LIST") && size >= 4) {
            chunk.listType = U32(&file[pos + 8]);
            chunk.data = pos + 12;
            chunk.size = size - 4;
        }
        if (!visit(chunk)) return;
        pos += 8 + size + (size & 1);
    }
}

bool IsFrameChunk(uint32_t id, int streamNumber) {
    const char tens = char('0' + streamNumber / 10), units = char('0' + streamNumber % 10);
    return (id & 0xFFFF) == (uint32_t(uint8_t(tens)) | uint32_t(uint8_t(units)) << 8) &&
           ((id >> 16) == ('d' | 'c' << 8) || (id >> 16) == ('d' | 'b' << 8));
}

}  // namespace

bool ParseAvi(const std::vector<uint8_t>& file, uint32_t fourcc, AviVideoStream& stream,
              std::string& error) {
    stream = AviVideoStream{};
    if (file.size() < 12 || U32(&file[0]) != Tag("RIFF") || U32(&file[8]) != Tag("AVI ")) {
        error = "not a RIFF AVI file";
        return false;
    }
    const size_t riffEnd = std::min(file.size(), size_t(8) + U32(&file[4]));
    int streamNumber = -1;
    bool haveMovi = false;
    ForEachChunk(file, 12, riffEnd, [&](const Chunk& top) {
        if (top.id == Tag("LIST") && top.listType == Tag("hdrl") && streamNumber < 0) {
            int index = 0;
            ForEachChunk(file, top.data, top.data + top.size, [&](const Chunk& list) {
                if (list.id != Tag("LIST") || list.listType != Tag("strl")) return true;
                bool video = false, matches = false;
                AviVideoStream candidate;
                ForEachChunk(file, list.data, list.data + list.size, [&](const Chunk& c) {
                    const uint8_t* d = &file[c.data];
                    if (c.id == Tag("strh") && c.size >= 28) {
                        video = U32(d) == Tag("vids");
                        matches = matches || SameFourCC(U32(d + 4), fourcc);
                        const uint32_t scale = U32(d + 20), rate = U32(d + 24);
                        if (scale && rate) candidate.rate = {rate, scale};
                    } else if (c.id == Tag("strf") && c.size >= 40) {
                        candidate.width = I32(d + 4);
                        candidate.height = I32(d + 8);
                        candidate.compression = U32(d + 16);
                        matches = matches || SameFourCC(candidate.compression, fourcc);
                    }
                    return true;
                });
                if (video && matches && streamNumber < 0 && index < 100) {
                    streamNumber = index;
                    stream = candidate;
                }
                ++index;
                return true;
            });
        } else if (top.id == Tag("LIST") && top.listType == Tag("movi") && !haveMovi) {
            haveMovi = true;
            if (streamNumber < 0) return true;
            // Frame chunks sit directly in movi or in 'rec ' lists.
            ForEachChunk(file, top.data, top.data + top.size, [&](const Chunk& c) {
                if (c.id == Tag("LIST") && c.listType == Tag("rec ")) {
                    ForEachChunk(file, c.data, c.data + c.size, [&](const Chunk& inner) {
                        if (IsFrameChunk(inner.id, streamNumber))
                            stream.frames.push_back({inner.data, uint32_t(inner.size)});
                        return true;
                    });
                } else if (IsFrameChunk(c.id, streamNumber)) {
                    stream.frames.push_back({c.data, uint32_t(c.size)});
                }
                return true;
            });
        }
        return true;
    });
    if (streamNumber < 0) {
        error = "no KMQX video stream";
        return false;
    }
    if (!haveMovi) {
        error = "no movi list";
        return false;
    }
    if (stream.width <= 0 || stream.height <= 0) {
        error = "bad picture size in the stream format";
        return false;
    }
    return true;
}

std::vector<AviFrame> SplitH263Pictures(const std::vector<uint8_t>& stream) {
    const std::vector<size_t> starts = FindPictureStarts(stream.data(), stream.size());
    std::vector<AviFrame> pictures;
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : stream.size();
        pictures.push_back({starts[k], uint32_t(end - starts[k])});
    }
    return pictures;
}

}  // namespace kmqx
