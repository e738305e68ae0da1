#include "devserver/Media.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace devserver {

namespace {

void put32(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}
void put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}
void putLe16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

std::uint32_t mix(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

std::uint32_t rgb(int r, int g, int b, int a = 255) {
    auto c = [](int v) { return static_cast<std::uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}

// HSV with h in [0, 360), s and v in [0, 1].
std::uint32_t hsv(double h, double s, double v) {
    double c = v * s, x = c * (1 - std::fabs(std::fmod(h / 60.0, 2) - 1)), m = v - c;
    double r = 0, g = 0, b = 0;
    int sector = static_cast<int>(h / 60.0) % 6;
    switch (sector) {
    case 0: r = c; g = x; break;
    case 1: r = x; g = c; break;
    case 2: g = c; b = x; break;
    case 3: g = x; b = c; break;
    case 4: r = x; b = c; break;
    default: r = c; b = x; break;
    }
    return rgb(static_cast<int>((r + m) * 255), static_cast<int>((g + m) * 255), static_cast<int>((b + m) * 255));
}

void chunk(std::string& out, const char* type, const std::string& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    put32(out, crc32(body));
}

// A 256-colour gradient palette between two hues; index 255 stays for a light accent.
std::vector<std::uint32_t> gradientPalette(std::uint32_t seed) {
    std::vector<std::uint32_t> pal(256);
    double h0 = seed % 360, h1 = (seed / 360 + 120) % 360;
    for (int i = 0; i < 255; ++i) {
        double t = i / 254.0;
        pal[i] = hsv(std::fmod(h0 + (h1 - h0) * t + 360.0, 360.0), 0.55, 0.45 + 0.5 * t);
    }
    pal[255] = rgb(250, 250, 240);
    return pal;
}

IndexedImage sceneFrame(std::uint32_t seed, int w, int h, int frame) {
    IndexedImage img;
    img.width = w;
    img.height = h;
    img.palette = gradientPalette(seed);
    img.pixels.resize(static_cast<std::size_t>(w) * h);
    double cx = w * (0.25 + 0.5 * ((mix(seed) % 100) / 100.0)) + frame * w / 8.0;
    double cy = h * 0.5, r = std::min(w, h) * 0.22;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = (x * 254 / std::max(1, w - 1) + y * 254 / std::max(1, h - 1)) / 2;
            double dx = std::fmod(x - cx + 4.0 * w, static_cast<double>(w)) - 0.0;
            if (dx > w / 2.0) dx -= w;
            double dy = y - cy;
            bool inBall = dx * dx + dy * dy < r * r;
            bool stripe = ((x / 8 + y / 8 + static_cast<int>(seed)) % 7) == 0;
            img.pixels[static_cast<std::size_t>(y) * w + x] =
                static_cast<std::uint8_t>(inBall ? 255 : stripe ? std::max(0, v - 40) : v);
        }
    return img;
}

// --- H.264 bits -------------------------------------------------------------------------------

struct BitWriter {
    std::string bytes;
    int used = 0;  // bits used in the last byte
    void bit(int b) {
        if (used == 0) bytes += '\0';
        if (b) bytes.back() = static_cast<char>(bytes.back() | (0x80 >> used));
        used = (used + 1) % 8;
    }
    void bits(std::uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) bit((v >> i) & 1);
    }
    void ue(std::uint32_t v) {
        std::uint32_t x = v + 1;
        int len = 0;
        while ((x >> len) > 1) ++len;
        bits(0, len);
        bits(x, len + 1);
    }
    void se(int v) { ue(v <= 0 ? static_cast<std::uint32_t>(-2 * v) : static_cast<std::uint32_t>(2 * v - 1)); }
    void align0() {
        while (used != 0) bit(0);
    }
    void trailing() {
        bit(1);
        align0();
    }
};

// Wraps an RBSP as a NAL unit payload with emulation prevention (no start code).
std::string nal(int header, const std::string& rbsp) {
    std::string out(1, static_cast<char>(header));
    int zeros = 0;
    for (char ch : rbsp) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (zeros >= 2 && c <= 3) {
            out += '\x03';
            zeros = 0;
        }
        out += static_cast<char>(c);
        zeros = (c == 0) ? zeros + 1 : 0;
    }
    return out;
}

std::string box(const char* type, const std::string& payload) {
    std::string out;
    put32(out, static_cast<std::uint32_t>(payload.size() + 8));
    out.append(type, 4);
    out += payload;
    return out;
}
std::string fullBox(const char* type, int version, std::uint32_t flags, const std::string& payload) {
    std::string head;
    put32(head, (static_cast<std::uint32_t>(version) << 24) | flags);
    return box(type, head + payload);
}
std::string matrix() {
    std::string m;
    const std::uint32_t v[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
    for (auto x : v) put32(m, x);
    return m;
}

}  // namespace

std::uint32_t crc32(const std::string& bytes, std::uint32_t crc) {
    static std::uint32_t table[256];
    static bool ready = [] {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return true;
    }();
    (void)ready;
    crc = ~crc;
    for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t adler32(const std::string& bytes) {
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : bytes) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

namespace {
std::string pngFromRows(int width, int height, int colorType, int bytesPerPixel, const std::uint8_t* pixels,
                        const std::string& extraChunks) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    put32(ihdr, static_cast<std::uint32_t>(width));
    put32(ihdr, static_cast<std::uint32_t>(height));
    ihdr += '\x08';
    ihdr += static_cast<char>(colorType);
    ihdr += std::string(3, '\0');
    chunk(out, "IHDR", ihdr);
    out += extraChunks;
    // Filter type 0 on every row, then a zlib stream of stored deflate blocks.
    const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel;
    std::string raw;
    raw.reserve((rowBytes + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(pixels + y * rowBytes), rowBytes);
    }
    std::string z("\x78\x01", 2);
    std::size_t pos = 0;
    do {
        std::size_t len = std::min<std::size_t>(65535, raw.size() - pos);
        bool last = pos + len >= raw.size();
        z += static_cast<char>(last ? 1 : 0);
        putLe16(z, static_cast<std::uint32_t>(len));
        putLe16(z, static_cast<std::uint32_t>(~len & 0xFFFF));
        z.append(raw, pos, len);
        pos += len;
    } while (pos < raw.size());
    put32(z, adler32(raw));
    chunk(out, "IDAT", z);
    chunk(out, "IEND", std::string());
    return out;
}
}  // namespace

std::string encodePng(const IndexedImage& image) {
    std::string plte, trns, extra;
    std::size_t lastTransparent = 0;
    for (std::size_t i = 0; i < image.palette.size(); ++i) {
        std::uint32_t c = image.palette[i];
        plte += static_cast<char>((c >> 16) & 0xFF);
        plte += static_cast<char>((c >> 8) & 0xFF);
        plte += static_cast<char>(c & 0xFF);
        if ((c >> 24) != 0xFF) lastTransparent = i + 1;
    }
    chunk(extra, "PLTE", plte);
    if (lastTransparent) {
        for (std::size_t i = 0; i < lastTransparent; ++i) trns += static_cast<char>(image.palette[i] >> 24);
        chunk(extra, "tRNS", trns);
    }
    return pngFromRows(image.width, image.height, 3, 1, image.pixels.data(), extra);
}

std::string encodePngRgba(int width, int height, const std::vector<std::uint8_t>& rgba) {
    return pngFromRows(width, height, 6, 4, rgba.data(), std::string());
}

bool decodePng(const std::string& b, int& width, int& height, std::vector<std::uint8_t>& rgba, std::size_t maxPixels) {
    if (b.size() < 8 || b.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) != 0) return false;
    auto be = [&](std::size_t at) {
        return (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) << 24) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3]));
    };
    std::string idat, plte, trns;
    int depth = 0, colorType = -1, interlace = 0;
    width = height = 0;
    for (std::size_t at = 8; at + 12 <= b.size();) {
        std::uint32_t len = be(at);
        if (len > b.size() - at - 12) return false;
        std::string type = b.substr(at + 4, 4);
        if (type == "IHDR" && len >= 13) {
            width = static_cast<int>(std::min<std::uint32_t>(be(at + 8), 1u << 20));
            height = static_cast<int>(std::min<std::uint32_t>(be(at + 12), 1u << 20));
            depth = static_cast<unsigned char>(b[at + 16]);
            colorType = static_cast<unsigned char>(b[at + 17]);
            interlace = static_cast<unsigned char>(b[at + 20]);
        } else if (type == "PLTE") {
            plte = b.substr(at + 8, len);
        } else if (type == "tRNS") {
            trns = b.substr(at + 8, len);
        } else if (type == "IDAT") {
            idat += b.substr(at + 8, len);
        } else if (type == "IEND") {
            break;
        }
        at += 12 + len;
    }
    int channels = colorType == 0 ? 1 : colorType == 2 ? 3 : colorType == 3 ? 1 : colorType == 4 ? 2 : colorType == 6 ? 4 : 0;
    if (!channels || depth != 8 || interlace != 0 || width <= 0 || height <= 0 ||
        static_cast<std::size_t>(width) * height > maxPixels || (colorType == 3 && plte.empty()))
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
    std::vector<std::uint8_t> raw((rowBytes + 1) * height);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = reinterpret_cast<Bytef*>(&idat[0]);
    zs.avail_in = static_cast<uInt>(idat.size());
    zs.next_out = raw.data();
    zs.avail_out = static_cast<uInt>(raw.size());
    int rc = inflate(&zs, Z_FINISH);
    std::size_t produced = raw.size() - zs.avail_out;
    inflateEnd(&zs);
    if ((rc != Z_STREAM_END && rc != Z_BUF_ERROR) || produced != raw.size()) return false;

    std::vector<std::uint8_t> cur(rowBytes), prev(rowBytes, 0);
    rgba.assign(static_cast<std::size_t>(width) * height * 4, 255);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = &raw[y * (rowBytes + 1)];
        int filter = row[0];
        for (std::size_t i = 0; i < rowBytes; ++i) {
            int x = row[1 + i], a = i >= static_cast<std::size_t>(channels) ? cur[i - channels] : 0, up = prev[i],
                c = i >= static_cast<std::size_t>(channels) ? prev[i - channels] : 0;
            switch (filter) {
            case 0: break;
            case 1: x += a; break;
            case 2: x += up; break;
            case 3: x += (a + up) / 2; break;
            case 4: {
                int p = a + up - c, pa = std::abs(p - a), pb = std::abs(p - up), pc = std::abs(p - c);
                x += (pa <= pb && pa <= pc) ? a : pb <= pc ? up : c;
                break;
            }
            default: return false;
            }
            cur[i] = static_cast<std::uint8_t>(x);
        }
        for (int x = 0; x < width; ++x) {
            std::uint8_t* o = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            const std::uint8_t* p = &cur[static_cast<std::size_t>(x) * channels];
            switch (colorType) {
            case 0: o[0] = o[1] = o[2] = p[0]; break;
            case 2: o[0] = p[0]; o[1] = p[1]; o[2] = p[2]; break;
            case 3:
                if (static_cast<std::size_t>(p[0]) * 3 + 2 >= plte.size()) return false;
                o[0] = static_cast<std::uint8_t>(plte[p[0] * 3]);
                o[1] = static_cast<std::uint8_t>(plte[p[0] * 3 + 1]);
                o[2] = static_cast<std::uint8_t>(plte[p[0] * 3 + 2]);
                if (p[0] < trns.size()) o[3] = static_cast<std::uint8_t>(trns[p[0]]);
                break;
            case 4: o[0] = o[1] = o[2] = p[0]; o[3] = p[1]; break;
            default: o[0] = p[0]; o[1] = p[1]; o[2] = p[2]; o[3] = p[3]; break;
            }
        }
        std::swap(cur, prev);
    }
    return true;
}

std::string scaledPng(const std::string& png, int maxWidth) {
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgba;
    if (maxWidth <= 0 || !decodePng(png, w, h, rgba) || w <= maxWidth) return std::string();
    int nw = maxWidth, nh = std::max(1, static_cast<int>(static_cast<long long>(h) * maxWidth / w));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(nw) * nh * 4);
    for (int y = 0; y < nh; ++y)
        for (int x = 0; x < nw; ++x) {
            std::size_t sx = static_cast<std::size_t>(x) * w / nw, sy = static_cast<std::size_t>(y) * h / nh;
            std::copy_n(&rgba[(sy * w + sx) * 4], 4, &out[(static_cast<std::size_t>(y) * nw + x) * 4]);
        }
    return encodePngRgba(nw, nh, out);
}

std::string encodeGif(const IndexedImage& first, const std::vector<std::vector<std::uint8_t>>& moreFrames,
                      int delayCentiseconds) {
    std::string out("GIF89a");
    putLe16(out, static_cast<std::uint32_t>(first.width));
    putLe16(out, static_cast<std::uint32_t>(first.height));
    out += '\xF7';  // global table of 256 entries
    out += '\0';
    out += '\0';
    for (int i = 0; i < 256; ++i) {
        std::uint32_t c = i < static_cast<int>(first.palette.size()) ? first.palette[i] : 0;
        out += static_cast<char>((c >> 16) & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
        out += static_cast<char>(c & 0xFF);
    }
    out += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);

    std::vector<const std::vector<std::uint8_t>*> frames{&first.pixels};
    for (auto& f : moreFrames) frames.push_back(&f);
    for (auto* pixels : frames) {
        out += std::string("\x21\xF9\x04\x04", 4);
        putLe16(out, static_cast<std::uint32_t>(delayCentiseconds));
        out += '\0';
        out += '\0';
        out += '\x2C';
        putLe16(out, 0);
        putLe16(out, 0);
        putLe16(out, static_cast<std::uint32_t>(first.width));
        putLe16(out, static_cast<std::uint32_t>(first.height));
        out += '\0';
        out += '\x08';  // minimum code size
        // Every pixel is sent as a literal 9-bit code; a clear code every 254 literals keeps the
        // decoder's table from growing past 9 bits, so no compression logic is needed.
        std::string data;
        std::uint32_t acc = 0;
        int nbits = 0;
        auto emit = [&](std::uint32_t code) {
            acc |= code << nbits;
            nbits += 9;
            while (nbits >= 8) {
                data += static_cast<char>(acc & 0xFF);
                acc >>= 8;
                nbits -= 8;
            }
        };
        emit(256);
        int sinceClear = 0;
        for (std::uint8_t p : *pixels) {
            if (sinceClear == 254) {
                emit(256);
                sinceClear = 0;
            }
            emit(p);
            ++sinceClear;
        }
        emit(257);
        if (nbits > 0) data += static_cast<char>(acc & 0xFF);
        for (std::size_t pos = 0; pos < data.size(); pos += 255) {
            std::size_t len = std::min<std::size_t>(255, data.size() - pos);
            out += static_cast<char>(len);
            out.append(data, pos, len);
        }
        out += '\0';
    }
    out += '\x3B';
    return out;
}

namespace {

// Baseline profile, level 3.0, frame numbers of 4 bits, no picture order counts, one reference frame.
std::string sequenceParameterSet(int mbW, int mbH) {
    BitWriter sps;
    sps.bits(66, 8);    // baseline profile
    sps.bits(0xC0, 8);  // constraint_set0 and set1
    sps.bits(30, 8);    // level 3.0
    sps.ue(0);          // seq_parameter_set_id
    sps.ue(0);          // log2_max_frame_num_minus4
    sps.ue(2);          // pic_order_cnt_type
    sps.ue(1);          // max_num_ref_frames
    sps.bit(0);         // gaps_in_frame_num_value_allowed_flag
    sps.ue(static_cast<std::uint32_t>(mbW - 1));
    sps.ue(static_cast<std::uint32_t>(mbH - 1));
    sps.bit(1);  // frame_mbs_only_flag
    sps.bit(1);  // direct_8x8_inference_flag
    sps.bit(0);  // frame_cropping_flag
    sps.bit(0);  // vui_parameters_present_flag
    sps.trailing();
    return nal(0x67, sps.bytes);
}

// CAVLC, one slice group, no deblocking control: everything the I_PCM frames need.
std::string pictureParameterSet() {
    BitWriter pps;
    pps.ue(0);
    pps.ue(0);
    pps.bit(0);  // CAVLC
    pps.bit(0);
    pps.ue(0);  // slice groups
    pps.ue(0);
    pps.ue(0);
    pps.bit(0);
    pps.bits(0, 2);
    pps.se(0);
    pps.se(0);
    pps.se(0);
    pps.bit(0);  // deblocking_filter_control_present_flag
    pps.bit(0);
    pps.bit(0);
    pps.trailing();
    return nal(0x68, pps.bytes);
}

// Frame f as one IDR slice of I_PCM macroblocks: a grey ramp with a bright bar that moves across, preceded
// by its 4-byte length as the sample stores it.
std::string pcmFrameSample(int f, int frames, int width, int height, std::uint32_t seed) {
    const int mbW = width / 16, mbH = height / 16;
    BitWriter s;
    s.ue(0);  // first_mb_in_slice
    s.ue(7);  // I slice, all slices I
    s.ue(0);  // pic_parameter_set_id
    s.bits(0, 4);                             // frame_num
    s.ue(static_cast<std::uint32_t>(f % 2));  // idr_pic_id differs between neighbours
    s.bit(0);                                 // no_output_of_prior_pics_flag
    s.bit(0);                                 // long_term_reference_flag
    s.se(0);                                  // slice_qp_delta
    int barX = (f * width / std::max(1, frames) + static_cast<int>(seed % 64)) % width;
    for (int my = 0; my < mbH; ++my)
        for (int mx = 0; mx < mbW; ++mx) {
            s.ue(25);  // I_PCM
            s.align0();
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    int px = mx * 16 + x, py = my * 16 + y;
                    bool bar = std::abs(px - barX) < 6;
                    int luma = bar ? 220 : 40 + (py * 140) / height;
                    s.bits(static_cast<std::uint32_t>(luma), 8);
                }
            for (int plane = 0; plane < 2; ++plane)
                for (int i = 0; i < 64; ++i)
                    s.bits(static_cast<std::uint32_t>(plane == 0 ? 90 + (mx * 20) % 80 : 150 - (my * 15) % 60), 8);
        }
    s.trailing();
    std::string n = nal(0x65, s.bytes);
    std::string sample;
    put32(sample, static_cast<std::uint32_t>(n.size()));
    sample += n;
    return sample;
}

std::string movieHeader(std::uint32_t timescale, std::uint32_t duration) {
    std::string mvhd;
    put32(mvhd, 0);
    put32(mvhd, 0);
    put32(mvhd, timescale);
    put32(mvhd, duration);
    put32(mvhd, 0x00010000);
    put16(mvhd, 0x0100);
    mvhd += std::string(10, '\0');
    mvhd += matrix();
    mvhd += std::string(24, '\0');
    put32(mvhd, 2);
    return fullBox("mvhd", 0, 0, mvhd);
}

std::string trackHeader(std::uint32_t duration, int width, int height) {
    std::string tkhd;
    put32(tkhd, 0);
    put32(tkhd, 0);
    put32(tkhd, 1);
    put32(tkhd, 0);
    put32(tkhd, duration);
    tkhd += std::string(8, '\0');
    put16(tkhd, 0);
    put16(tkhd, 0);
    put16(tkhd, 0);
    put16(tkhd, 0);
    tkhd += matrix();
    put32(tkhd, static_cast<std::uint32_t>(width) << 16);
    put32(tkhd, static_cast<std::uint32_t>(height) << 16);
    return fullBox("tkhd", 0, 3, tkhd);
}

// The media header and the video handler.
std::string mediaHeaders(std::uint32_t timescale, std::uint32_t duration) {
    std::string mdhd;
    put32(mdhd, 0);
    put32(mdhd, 0);
    put32(mdhd, timescale);
    put32(mdhd, duration);
    put16(mdhd, 0x55C4);  // "und"
    put16(mdhd, 0);
    std::string hdlr;
    put32(hdlr, 0);
    hdlr += "vide";
    hdlr += std::string(12, '\0');
    hdlr += std::string("VideoHandler\0", 13);
    return fullBox("mdhd", 0, 0, mdhd) + fullBox("hdlr", 0, 0, hdlr);
}

// The one sample entry: an avc1 of the given size carrying the parameter sets in its avcC.
std::string sampleDescription(const std::string& spsNal, const std::string& ppsNal, int width, int height) {
    std::string avcC;
    avcC += '\x01';
    avcC += spsNal[1];
    avcC += spsNal[2];
    avcC += spsNal[3];
    avcC += '\xFF';
    avcC += '\xE1';
    put16(avcC, static_cast<std::uint32_t>(spsNal.size()));
    avcC += spsNal;
    avcC += '\x01';
    put16(avcC, static_cast<std::uint32_t>(ppsNal.size()));
    avcC += ppsNal;

    std::string avc1(6, '\0');
    put16(avc1, 1);  // data_reference_index
    avc1 += std::string(16, '\0');
    put16(avc1, static_cast<std::uint32_t>(width));
    put16(avc1, static_cast<std::uint32_t>(height));
    put32(avc1, 0x00480000);
    put32(avc1, 0x00480000);
    put32(avc1, 0);
    put16(avc1, 1);
    avc1 += std::string(32, '\0');
    put16(avc1, 0x0018);
    put16(avc1, 0xFFFF);
    avc1 += box("avcC", avcC);

    std::string stsd;
    put32(stsd, 1);
    stsd += box("avc1", avc1);
    return fullBox("stsd", 0, 0, stsd);
}

// Timing, chunking and sizes of the samples, all in one chunk at chunkOffset.
std::string sampleTables(const std::vector<std::string>& samples, std::uint32_t delta, std::uint32_t chunkOffset) {
    const auto frames = static_cast<std::uint32_t>(samples.size());
    std::string stts;
    put32(stts, 1);
    put32(stts, frames);
    put32(stts, delta);
    std::string stsc;
    put32(stsc, 1);
    put32(stsc, 1);
    put32(stsc, frames);
    put32(stsc, 1);
    std::string stsz;
    put32(stsz, 0);
    put32(stsz, frames);
    for (auto& s : samples) put32(stsz, static_cast<std::uint32_t>(s.size()));
    std::string stco;
    put32(stco, 1);
    put32(stco, chunkOffset);
    return fullBox("stts", 0, 0, stts) + fullBox("stsc", 0, 0, stsc) + fullBox("stsz", 0, 0, stsz) +
           fullBox("stco", 0, 0, stco);
}

}  // namespace

std::string makeMp4(int width, int height, int frames, std::uint32_t seed) {
    const int mbW = (width + 15) / 16, mbH = (height + 15) / 16;
    width = mbW * 16;
    height = mbH * 16;
    const std::string spsNal = sequenceParameterSet(mbW, mbH), ppsNal = pictureParameterSet();
    std::vector<std::string> samples;
    for (int f = 0; f < frames; ++f) samples.push_back(pcmFrameSample(f, frames, width, height, seed));

    const std::uint32_t timescale = 1000, delta = 200, duration = delta * static_cast<std::uint32_t>(frames);
    std::string ftyp = box("ftyp", std::string("isom\0\0\x02\0isomiso2avc1mp41", 24));
    const std::string description = sampleDescription(spsNal, ppsNal, width, height);
    auto buildMoov = [&](std::uint32_t chunkOffset) {
        std::string stbl = description + sampleTables(samples, delta, chunkOffset);
        std::string dref;
        put32(dref, 1);
        dref += fullBox("url ", 0, 1, std::string());
        std::string vmhd(8, '\0');
        std::string minf = fullBox("vmhd", 0, 1, vmhd) + box("dinf", fullBox("dref", 0, 0, dref)) + box("stbl", stbl);
        std::string mdia = mediaHeaders(timescale, duration) + box("minf", minf);
        std::string trak = trackHeader(duration, width, height) + box("mdia", mdia);
        return box("moov", movieHeader(timescale, duration) + box("trak", trak));
    };
    // The chunk offset points past the moov box, whose size does not depend on the offset's value.
    std::string moov = buildMoov(0);
    moov = buildMoov(static_cast<std::uint32_t>(ftyp.size() + moov.size() + 8));
    std::string mdatPayload;
    for (auto& s : samples) mdatPayload += s;
    return ftyp + moov + box("mdat", mdatPayload);
}

std::string sniffPictureType(const std::string& b) {
    auto starts = [&](const char* magic, std::size_t n) { return b.size() >= n && b.compare(0, n, magic, n) == 0; };
    if (starts("\x89PNG\r\n\x1a\n", 8) && b.size() > 24) return "image/png";
    if (starts("\xFF\xD8\xFF", 3) && b.size() > 16) return "image/jpeg";
    if ((starts("GIF87a", 6) || starts("GIF89a", 6)) && b.size() > 13) return "image/gif";
    if (starts("BM", 2) && b.size() > 26) return "image/bmp";
    if (b.size() > 16 && starts("RIFF", 4) && b.compare(8, 4, "WEBP") == 0) return "image/webp";
    return std::string();
}

std::string avatarPng(std::uint64_t userId, int size) {
    std::uint32_t h = mix(static_cast<std::uint32_t>(userId) ^ static_cast<std::uint32_t>(userId >> 32));
    IndexedImage img;
    img.width = img.height = size;
    img.palette = {rgb(240, 240, 236), hsv(h % 360, 0.6, 0.75), hsv((h / 7) % 360, 0.35, 0.95)};
    img.pixels.assign(static_cast<std::size_t>(size) * size, 0);
    const int cells = 5, margin = size / 10, cell = (size - 2 * margin) / cells;
    for (int cy = 0; cy < cells; ++cy)
        for (int cx = 0; cx < cells; ++cx) {
            int sx = cx < 3 ? cx : cells - 1 - cx;  // mirrored like a face
            bool on = (mix(h + static_cast<std::uint32_t>(cy * 3 + sx)) & 1) != 0;
            for (int y = 0; y < cell; ++y)
                for (int x = 0; x < cell; ++x)
                    img.pixels[static_cast<std::size_t>(margin + cy * cell + y) * size + margin + cx * cell + x] =
                        on ? 1 : 2;
        }
    return encodePng(img);
}

std::string emojiPng(std::uint32_t cp) {
    const int size = 20;
    IndexedImage img;
    img.width = img.height = size;
    img.palette = {rgb(0, 0, 0, 0), hsv((cp * 37) % 360, 0.7, 0.95), rgb(40, 40, 40), rgb(255, 255, 255)};
    img.pixels.assign(size * size, 0);
    int shape = static_cast<int>((cp >> 8) & 0xF);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double dx = x - 9.5, dy = y - 9.5;
            bool inside = shape % 2 ? (std::abs(dx) < 8.5 && std::abs(dy) < 8.5) : dx * dx + dy * dy < 81;
            if (!inside) continue;
            std::uint8_t c = 1;
            if ((y == 7 || y == 8) && (x == 6 || x == 7 || x == 12 || x == 13)) c = 2;
            if (y == 13 && x >= 6 && x <= 13 && ((cp + x) % 3 != 0)) c = 2;
            if (y == 4 && x == static_cast<int>(4 + cp % 12)) c = 3;
            img.pixels[y * size + x] = c;
        }
    return encodePng(img);
}

std::string emotionPng(int emotionId) {
    const int size = 22;
    IndexedImage img;
    img.width = img.height = size;
    std::uint32_t h = mix(static_cast<std::uint32_t>(emotionId) * 2654435761U);
    img.palette = {rgb(0, 0, 0, 0), hsv(40 + h % 30, 0.8, 1.0), rgb(90, 50, 20), rgb(230, 80, 80)};
    img.pixels.assign(size * size, 0);
    int mouth = emotionId % 3;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double dx = x - 10.5, dy = y - 10.5;
            if (dx * dx + dy * dy >= 100) continue;
            std::uint8_t c = 1;
            if (y == 7 && (x == 7 || x == 14)) c = 2;
            if (y == 8 && (x == 7 || x == 14)) c = 2;
            double my = mouth == 0 ? 14 + (dx * dx) / 20.0 : mouth == 1 ? 15 - (dx * dx) / 20.0 : 14;
            if (std::abs(dx) < 5 && std::abs(y - my) < 0.8) c = static_cast<std::uint8_t>(mouth == 2 ? 3 : 2);
            img.pixels[y * size + x] = c;
        }
    return encodePng(img);
}

std::string statusPicturePng(std::uint32_t seed, int width, int height) {
    return encodePng(sceneFrame(seed, width, height, 0));
}

std::string animatedStatusGif(std::uint32_t seed, int width, int height) {
    IndexedImage first = sceneFrame(seed, width, height, 0);
    std::vector<std::vector<std::uint8_t>> more;
    for (int f = 1; f < 8; ++f) more.push_back(sceneFrame(seed, width, height, f).pixels);
    return encodeGif(first, more, 12);
}

std::string videoStillPng(int videoId) {
    IndexedImage img = sceneFrame(static_cast<std::uint32_t>(videoId) * 977U + 5, 160, 120, 2);
    return encodePng(img);
}

std::string iconPng() {
    IndexedImage img;
    img.width = img.height = 16;
    img.palette = {rgb(0, 0, 0, 0), rgb(220, 60, 40), rgb(255, 255, 255)};
    img.pixels.assign(256, 0);
    for (int y = 1; y < 15; ++y)
        for (int x = 1; x < 15; ++x) {
            bool play = x >= 5 && x <= 11 && std::abs(y - 8) <= (11 - x) / 2 + 0;
            img.pixels[y * 16 + x] = play ? 2 : 1;
        }
    return encodePng(img);
}

const std::vector<std::pair<std::uint32_t, std::uint32_t>>& emojiRanges() {
    static const std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges = {
        {0xE001, 0xE05A}, {0xE101, 0xE15A}, {0xE201, 0xE253}, {0xE301, 0xE34D}, {0xE401, 0xE44C}, {0xE501, 0xE537}};
    return ranges;
}

bool isEmojiCodePoint(std::uint32_t cp) {
    for (auto& r : emojiRanges())
        if (cp >= r.first && cp <= r.second) return true;
    return false;
}

}  // namespace devserver
