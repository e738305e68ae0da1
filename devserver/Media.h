#pragma once
// Pictures and the video of the development service, made in code so the server needs no files:
// a PNG encoder (palette, stored deflate blocks), an animated GIF89a encoder (LZW without
// compression), and an MP4 holding H.264 made only of I_PCM macroblocks.
#include <cstdint>
#include <string>
#include <vector>

namespace devserver {

// 8-bit palette picture; palette entries are 0xAARRGGBB (alpha below 0xFF needs a tRNS chunk).
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> palette;
    std::vector<std::uint8_t> pixels;  // width * height indices
};

std::uint32_t crc32(const std::string& bytes, std::uint32_t crc = 0);
std::uint32_t adler32(const std::string& bytes);

std::string encodePng(const IndexedImage& image);
// Frames share the image's size and palette; delay in hundredths of a second; loops forever.
std::string encodeGif(const IndexedImage& first, const std::vector<std::vector<std::uint8_t>>& moreFrames,
                      int delayCentiseconds);
// A small MP4 (ISO BMFF, one avc1 track) of `frames` pictures at 5 frames per second.
std::string makeMp4(int width, int height, int frames, std::uint32_t seed);

// Decodes a non-interlaced PNG of bit depth 8 (grey, RGB, palette, grey+alpha, RGBA) into RGBA rows.
// Pictures of more than maxPixels, other depths and broken streams give false; the inflated size is
// bounded by the header, so a small upload cannot expand without limit.
bool decodePng(const std::string& bytes, int& width, int& height, std::vector<std::uint8_t>& rgba,
               std::size_t maxPixels = 4096u * 4096u);
std::string encodePngRgba(int width, int height, const std::vector<std::uint8_t>& rgba);
// A copy no wider than maxWidth (nearest neighbour), or "" when the PNG cannot be read or is narrow enough.
std::string scaledPng(const std::string& png, int maxWidth);

// Recognises the picture formats an upload may carry; returns the MIME type or "" for anything else.
std::string sniffPictureType(const std::string& bytes);

// Generated pictures; the same arguments always give the same bytes.
std::string avatarPng(std::uint64_t userId, int size);
std::string emojiPng(std::uint32_t codePoint);
std::string emotionPng(int emotionId);
std::string statusPicturePng(std::uint32_t seed, int width, int height);
std::string animatedStatusGif(std::uint32_t seed, int width, int height);
std::string videoStillPng(int videoId);
std::string iconPng();

// Whether the code point lies in one of the six private-use emoji ranges.
bool isEmojiCodePoint(std::uint32_t codePoint);
// The ranges as (first, last) pairs, in order.
const std::vector<std::pair<std::uint32_t, std::uint32_t>>& emojiRanges();

}  // namespace devserver
