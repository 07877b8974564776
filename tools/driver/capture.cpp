// What the driver records for a report: a window's pixels as a PNG file of its own
// (read from the screen, so a window that no longer answers is captured too) and the
// processes that run, with their command lines.
#include <windows.h>
#include <tlhelp32.h>
#include <zlib.h>

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

}  // namespace

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

namespace {

// The command line from the process's own parameters block (its PEB), read across:
// Wine has no query that hands it over. A process of the driver's own kind only.
std::wstring command_line_of(HANDLE process) {
  using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static Query query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  struct {
    LONG exit_status;
    void* peb;
    ULONG_PTR affinity, priority, pid, parent;
  } basic = {};
  ULONG got = 0;
  if (query == nullptr || query(process, 0, &basic, sizeof basic, &got) != 0 || basic.peb == nullptr) return L"";
  const size_t kParameters = 4 * sizeof(void*);               // PEB.ProcessParameters
  const size_t kCommandLine = sizeof(void*) == 8 ? 0x70 : 0x40;  // its CommandLine
  auto read = [&](const void* at, void* to, size_t n) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, at, to, n, &done) && done == n;
  };
  const char* parameters = nullptr;
  if (!read(static_cast<const char*>(basic.peb) + kParameters, &parameters, sizeof parameters) || !parameters)
    return L"";
  struct {
    USHORT length, maximum;
    const wchar_t* text;
  } line = {};
  if (!read(parameters + kCommandLine, &line, sizeof line) || line.text == nullptr) return L"";
  std::wstring text(line.length / sizeof(wchar_t), L'\0');
  if (!text.empty() && !read(line.text, &text[0], text.size() * sizeof(wchar_t))) return L"";
  return text;
}

}  // namespace

std::vector<ProcessInfo> list_processes() {
  std::vector<ProcessInfo> out;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return out;
  PROCESSENTRY32W e = {};
  e.dwSize = sizeof(e);
  for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e)) {
    ProcessInfo p;
    p.pid = e.th32ProcessID;
    p.parent = e.th32ParentProcessID;
    p.image = e.szExeFile;
    if (HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, p.pid)) {
      wchar_t path[MAX_PATH * 2];
      DWORD n = MAX_PATH * 2;
      if (QueryFullProcessImageNameW(h, 0, path, &n)) p.image.assign(path, n);
      p.command_line = command_line_of(h);
      CloseHandle(h);
    }
    out.push_back(p);
  }
  CloseHandle(snap);
  return out;
}

}  // namespace drv
