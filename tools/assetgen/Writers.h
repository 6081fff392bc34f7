// File writers of the asset generator: PNG (libpng), JPEG (libjpeg-turbo),
// 24-bit Windows bitmap, and plain bytes. Every writer throws
// std::runtime_error naming the file when it cannot write it, and writes
// nothing that varies from run to run (no time stamps, fixed settings).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Image.h"

namespace assetgen {

void WritePng(const std::string& Path, const Image8& Img);
// RGB with a separate alpha plane (one byte per pixel), written as RGBA.
void WritePngRgba(const std::string& Path, const Image8& Img, const std::vector<uint8_t>& Alpha);
void WriteJpeg(const std::string& Path, const Image8& Img, int Quality);
// Uncompressed BI_RGB bitmap, 24 bits per pixel, rows bottom-up padded to 4 bytes.
void WriteBmp24(const std::string& Path, const Image8& Img);
void WriteBytes(const std::string& Path, const std::vector<unsigned char>& Bytes);
void WriteText(const std::string& Path, const std::string& Text);

}  // namespace assetgen
