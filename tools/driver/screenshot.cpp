// Screenshots: a window's pixels as a PNG file of its own, read from the screen, so
// that a window that no longer answers is captured too.
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>

#include "driver.h"

namespace drv {
namespace {

void put_be32(std::string* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(char((v >> shift) & 0xFF));
}

// One chunk: length, type, data, CRC of type and data.
void put_chunk(std::string* out, const char* type, const std::string& data) {
  put_be32(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out->append(body);
  put_be32(out, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

// An 8-bit RGB PNG of top-down BGRA pixels.
bool encode_png(const uint8_t* bgra, int width, int height, std::string* png) {
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    const uint8_t* row = bgra + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) {
      raw.push_back(char(row[4 * x + 2]));
      raw.push_back(char(row[4 * x + 1]));
      raw.push_back(char(row[4 * x]));
    }
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packed_size,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 6) != Z_OK)
    return false;
  packed.resize(packed_size);
  std::string header;
  put_be32(&header, static_cast<uint32_t>(width));
  put_be32(&header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  *png = "\x89PNG\r\n\x1a\n";
  put_chunk(png, "IHDR", header);
  put_chunk(png, "IDAT", packed);
  put_chunk(png, "IEND", "");
  return true;
}

// Saves the screen's pixels in area (the screen's coordinates) as an RGB PNG.
bool capture_png(const RECT& area, const std::wstring& path, std::wstring* why) {
  int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    *why = L"nothing to capture";
    return false;
  }
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  std::string png;
  if (bitmap != nullptr && memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) &&
         GdiFlush() && encode_png(static_cast<const uint8_t*>(bits), width, height, &png);
    SelectObject(memory, old);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!ok) {
    *why = L"the screen could not be read";
    return false;
  }
  FILE* f = _wfopen(path.c_str(), L"wb");
  bool written = f != nullptr && fwrite(png.data(), 1, png.size(), f) == png.size();
  if (f != nullptr && fclose(f) != 0) written = false;
  if (!written) *why = L"cannot write " + path;
  return written;
}

}  // namespace

// The dialog as the screen shows it, once it has handled what was sent to it.
void take_shot(const Session& session, const std::wstring& path) {
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (session.dialog && IsWindow(session.dialog)) {
    sync(session.dialog);
    Sleep(300);  // the paint that follows
    GetWindowRect(session.dialog, &area);
  }
  std::wstring why;
  if (!capture_png(area, path, &why)) throw Failure{why};
  out(L"shot width=" + std::to_wstring(area.right - area.left) +
      L" height=" + std::to_wstring(area.bottom - area.top));
}

}  // namespace drv
