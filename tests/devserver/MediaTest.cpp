// The generated pictures and the video decode as their formats say: PNG chunks and zlib stream,
// GIF frames through an LZW decoder, and the MP4 box tree with its sample table.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

#include "devserver/Media.h"

using namespace devserver;

namespace {

std::uint32_t be32(const std::string& s, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3]));
}
unsigned le16(const std::string& s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8);
}

struct Png {
    std::map<std::string, std::string> chunks;
    bool crcOk = true;
};

Png readPng(const std::string& bytes) {
    Png png;
    std::size_t at = 8;
    while (at + 12 <= bytes.size()) {
        std::uint32_t len = be32(bytes, at);
        std::string type = bytes.substr(at + 4, 4);
        std::string body = bytes.substr(at + 4, 4 + len);
        if (crc32(body) != be32(bytes, at + 8 + len)) png.crcOk = false;
        png.chunks[type] += bytes.substr(at + 8, len);
        at += 12 + len;
    }
    return png;
}

// Decodes one GIF image's LZW data (sub-blocks already joined) into indices.
std::vector<std::uint8_t> lzwDecode(const std::string& data, int minCode) {
    std::vector<std::uint8_t> out;
    const int clear = 1 << minCode, eoi = clear + 1;
    std::vector<std::vector<std::uint8_t>> table;
    auto reset = [&] {
        table.clear();
        for (int i = 0; i < clear + 2; ++i) table.push_back({static_cast<std::uint8_t>(i)});
    };
    reset();
    int width = minCode + 1, prev = -1;
    std::size_t bitPos = 0;
    while (bitPos + width <= data.size() * 8) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bitPos)
            if (static_cast<unsigned char>(data[bitPos / 8]) & (1 << (bitPos % 8))) code |= 1 << i;
        if (code == clear) {
            reset();
            width = minCode + 1;
            prev = -1;
            continue;
        }
        if (code == eoi) break;
        std::vector<std::uint8_t> entry;
        if (code < static_cast<int>(table.size())) entry = table[code];
        else if (prev >= 0) {
            entry = table[prev];
            entry.push_back(table[prev][0]);
        } else {
            return {};
        }
        out.insert(out.end(), entry.begin(), entry.end());
        if (prev >= 0) {
            auto grown = table[prev];
            grown.push_back(entry[0]);
            table.push_back(grown);
            if (static_cast<int>(table.size()) == (1 << width) && width < 12) ++width;
        }
        prev = code;
    }
    return out;
}

struct Box {
    std::string type;
    std::size_t start, size;
};
std::vector<Box> boxes(const std::string& s, std::size_t from, std::size_t to) {
    std::vector<Box> out;
    while (from + 8 <= to) {
        std::uint32_t size = be32(s, from);
        if (size < 8 || from + size > to) break;
        out.push_back({s.substr(from + 4, 4), from, size});
        from += size;
    }
    return out;
}
const Box* findBox(const std::vector<Box>& list, const std::string& type) {
    for (auto& b : list)
        if (b.type == type) return &b;
    return nullptr;
}

}  // namespace

TEST(Media, PngIsAPaletteImageWithStoredDeflate) {
    IndexedImage img;
    img.width = 300;
    img.height = 250;  // more than one stored block
    img.palette = {0xFF000000, 0x80FF0000, 0xFF00FF00};
    for (int i = 0; i < img.width * img.height; ++i) img.pixels.push_back(static_cast<std::uint8_t>(i % 3));
    std::string png = encodePng(img);
    ASSERT_EQ(png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)), 0);
    Png parsed = readPng(png);
    EXPECT_TRUE(parsed.crcOk);
    ASSERT_EQ(parsed.chunks["IHDR"].size(), 13u);
    EXPECT_EQ(be32(parsed.chunks["IHDR"], 0), 300u);
    EXPECT_EQ(be32(parsed.chunks["IHDR"], 4), 250u);
    EXPECT_EQ(parsed.chunks["IHDR"][9], '\x03');
    EXPECT_EQ(parsed.chunks["PLTE"].size(), 9u);
    EXPECT_EQ(parsed.chunks["tRNS"], std::string("\xFF\x80", 2));  // up to the last translucent entry
    EXPECT_TRUE(parsed.chunks.count("IEND"));

    std::string raw(static_cast<std::size_t>(img.width + 1) * img.height, '\0');
    uLongf rawLen = static_cast<uLongf>(raw.size());
    const std::string& z = parsed.chunks["IDAT"];
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&raw[0]), &rawLen, reinterpret_cast<const Bytef*>(z.data()),
                         static_cast<uLong>(z.size())),
              Z_OK);
    ASSERT_EQ(rawLen, raw.size());
    for (int y = 0; y < img.height; ++y) {
        ASSERT_EQ(raw[static_cast<std::size_t>(y) * (img.width + 1)], '\0');
        ASSERT_EQ(raw.compare(static_cast<std::size_t>(y) * (img.width + 1) + 1, img.width,
                              reinterpret_cast<const char*>(&img.pixels[static_cast<std::size_t>(y) * img.width]), img.width),
                  0);
    }
    // The generated pictures are well-formed too.
    for (const std::string& p : {avatarPng(1600000001, 50), emojiPng(0xE415), emotionPng(3), statusPicturePng(7, 120, 90),
                                 videoStillPng(1), iconPng()})
        EXPECT_TRUE(readPng(p).crcOk);
}

TEST(Media, AnimatedGifDecodesFrameByFrame) {
    std::string gif = animatedStatusGif(1, 120, 90);
    ASSERT_EQ(gif.compare(0, 6, "GIF89a"), 0);
    EXPECT_EQ(le16(gif, 6), 120u);
    EXPECT_EQ(le16(gif, 8), 90u);
    ASSERT_EQ(static_cast<unsigned char>(gif[10]) & 0x80, 0x80);
    std::size_t at = 13 + 3 * 256;
    int frames = 0;
    bool loops = false;
    std::vector<std::vector<std::uint8_t>> decoded;
    while (at < gif.size() && gif[at] != '\x3B') {
        if (gif[at] == '\x21') {  // extension
            if (gif.compare(at + 3, 11, "NETSCAPE2.0") == 0) loops = true;
            at += 2;
            while (gif[at] != '\0') at += 1 + static_cast<unsigned char>(gif[at]);
            ++at;
        } else if (gif[at] == '\x2C') {
            ASSERT_EQ(le16(gif, at + 5), 120u);
            at += 10;
            int minCode = gif[at++];
            std::string data;
            while (gif[at] != '\0') {
                std::size_t n = static_cast<unsigned char>(gif[at]);
                data += gif.substr(at + 1, n);
                at += 1 + n;
            }
            ++at;
            decoded.push_back(lzwDecode(data, minCode));
            ++frames;
        } else {
            FAIL() << "unexpected block " << static_cast<int>(gif[at]);
        }
    }
    EXPECT_TRUE(loops);
    EXPECT_EQ(frames, 8);
    for (auto& f : decoded) EXPECT_EQ(f.size(), 120u * 90u);
    EXPECT_NE(decoded[0], decoded[1]);  // the picture moves
}

TEST(Media, Mp4HasATrackWhoseSamplesFillTheMediaData) {
    std::string mp4 = makeMp4(128, 96, 10, 1);
    auto top = boxes(mp4, 0, mp4.size());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].type, "ftyp");
    EXPECT_EQ(top[1].type, "moov");
    EXPECT_EQ(top[2].type, "mdat");
    auto moov = boxes(mp4, top[1].start + 8, top[1].start + top[1].size);
    const Box* trak = findBox(moov, "trak");
    ASSERT_TRUE(findBox(moov, "mvhd") && trak);
    auto mdia = boxes(mp4, findBox(boxes(mp4, trak->start + 8, trak->start + trak->size), "mdia")->start + 8, mp4.size());
    const Box* minfBox = findBox(mdia, "minf");
    ASSERT_TRUE(minfBox);
    auto minf = boxes(mp4, minfBox->start + 8, minfBox->start + minfBox->size);
    const Box* stblBox = findBox(minf, "stbl");
    ASSERT_TRUE(stblBox);
    auto stbl = boxes(mp4, stblBox->start + 8, stblBox->start + stblBox->size);
    const Box* stsz = findBox(stbl, "stsz");
    const Box* stco = findBox(stbl, "stco");
    const Box* stsd = findBox(stbl, "stsd");
    ASSERT_TRUE(stsz && stco && stsd);
    EXPECT_EQ(mp4.substr(stsd->start + 20, 4), "avc1");
    std::uint32_t count = be32(mp4, stsz->start + 16);
    EXPECT_EQ(count, 10u);
    std::uint64_t total = 0;
    std::uint32_t offset = be32(mp4, stco->start + 16);
    EXPECT_EQ(offset, top[2].start + 8);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t size = be32(mp4, stsz->start + 20 + 4 * i);
        // Each sample is one length-prefixed IDR slice.
        EXPECT_EQ(be32(mp4, offset + total) + 4, size);
        EXPECT_EQ(static_cast<unsigned char>(mp4[offset + total + 4]) & 0x1F, 5);
        total += size;
    }
    EXPECT_EQ(total, top[2].size - 8);
    std::size_t avcC = mp4.find("avcC");
    ASSERT_NE(avcC, std::string::npos);
    EXPECT_EQ(static_cast<unsigned char>(mp4[avcC + 5]), 66);  // baseline profile
    EXPECT_EQ(static_cast<unsigned char>(mp4[avcC + 12]), 0x67);  // the sequence parameter set
}

TEST(Media, PngDecodesBackAndScalesDown) {
    // Our own palette PNG, and a filtered RGBA PNG written by zlib, both read back.
    IndexedImage img;
    img.width = 200;
    img.height = 100;
    img.palette = {0xFF102030, 0x80405060};
    for (int i = 0; i < img.width * img.height; ++i) img.pixels.push_back(static_cast<std::uint8_t>((i / 7) % 2));
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgba;
    ASSERT_TRUE(decodePng(encodePng(img), w, h, rgba));
    ASSERT_EQ(w, 200);
    EXPECT_EQ(rgba[0], 0x10);
    EXPECT_EQ(rgba[7 * 4 + 3], 0x80);

    std::string rows;  // every row with filter type 1 (Sub) over RGBA pixels of a gradient
    for (int y = 0; y < 30; ++y) {
        rows += '\x01';
        for (int x = 0; x < 40; ++x) rows += std::string(x ? "\x02\x01\x00\x00" : "\x00\x00\x00\xff", 4);
    }
    uLongf zlen = compressBound(static_cast<uLong>(rows.size()));
    std::string z(zlen, '\0');
    compress(reinterpret_cast<Bytef*>(&z[0]), &zlen, reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()));
    z.resize(zlen);
    std::string png = encodePngRgba(40, 30, std::vector<std::uint8_t>(40 * 30 * 4, 0));
    std::size_t idat = png.find("IDAT") - 4;
    std::string body = "IDAT" + z, len;
    for (int s = 24; s >= 0; s -= 8) len += static_cast<char>((z.size() >> s) & 0xFF);
    std::string crc;
    for (int s = 24; s >= 0; s -= 8) crc += static_cast<char>((crc32(body) >> s) & 0xFF);
    png = png.substr(0, idat) + len + body + crc + png.substr(png.find("IEND") - 4);
    ASSERT_TRUE(decodePng(png, w, h, rgba));
    EXPECT_EQ(rgba[39 * 4], 78);  // 39 steps of 2
    EXPECT_EQ(rgba[39 * 4 + 1], 39);

    std::string small = scaledPng(encodePng(img), 50);
    ASSERT_TRUE(decodePng(small, w, h, rgba));
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 25);
    EXPECT_EQ(scaledPng(encodePng(img), 400), "");  // already narrow enough
    // Broken or oversized pictures are refused, not inflated without bound.
    std::string broken = encodePng(img);
    broken[broken.find("IDAT") + 10] ^= 0x55;
    EXPECT_FALSE(decodePng(broken, w, h, rgba));
    EXPECT_FALSE(decodePng(encodePng(img), w, h, rgba, 100));
    EXPECT_FALSE(decodePng("not a png", w, h, rgba));
}

TEST(Media, UploadsAreSniffedByTheirBytes) {
    EXPECT_EQ(sniffPictureType(emojiPng(0xE001)), "image/png");
    EXPECT_EQ(sniffPictureType(animatedStatusGif(1, 10, 10)), "image/gif");
    EXPECT_EQ(sniffPictureType(std::string("\xFF\xD8\xFF\xE0") + std::string(40, 'x')), "image/jpeg");
    EXPECT_EQ(sniffPictureType("<html><body>not a picture</body></html>"), "");
    EXPECT_EQ(sniffPictureType(std::string("\x89PNG", 4)), "");  // truncated
    EXPECT_EQ(sniffPictureType(""), "");
    int inRanges = 0;
    for (std::uint32_t cp = 0xE000; cp <= 0xE600; ++cp) inRanges += isEmojiCodePoint(cp);
    EXPECT_EQ(inRanges, 90 + 90 + 83 + 77 + 76 + 55);
}
