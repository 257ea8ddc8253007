// A minimal PNG writer (stored deflate blocks) for the screenshots the overlay tests take.
#include "png_writer.h"

#include <set>

namespace {

unsigned Crc(const unsigned char* p, size_t n, unsigned crc = 0xFFFFFFFFu)
{
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return crc;
}

void Put32(std::string& s, unsigned v)
{
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back((char)((v >> shift) & 0xFF));
}

void Chunk(std::string& out, const char* type, const std::string& data)
{
    Put32(out, (unsigned)data.size());
    std::string body = std::string(type, 4) + data;
    out += body;
    Put32(out, Crc((const unsigned char*)body.data(), body.size()) ^ 0xFFFFFFFFu);
}

}  // namespace

std::string FfTestEncodePng(int width, int height, const std::vector<unsigned char>& rgb)
{
    std::string raw;
    for (int y = 0; y < height; y++) {
        raw.push_back(0);  // filter: none
        raw.append((const char*)&rgb[(size_t)y * width * 3], (size_t)width * 3);
    }
    std::string z = "\x78\x01";
    unsigned a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        bool last = pos + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back((char)(n & 0xFF));
        z.push_back((char)(n >> 8));
        z.push_back((char)(~n & 0xFF));
        z.push_back((char)((~n >> 8) & 0xFF));
        z.append(raw, pos, n);
        pos += n;
        if (last) break;
    }
    Put32(z, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    Put32(ihdr, (unsigned)width);
    Put32(ihdr, (unsigned)height);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", "");
    return png;
}

std::vector<unsigned char> FfTestCaptureScreen(const RECT& r)
{
    int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<unsigned char> rgb;
    if (w <= 0 || h <= 0) return rgb;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const unsigned char* p = (const unsigned char*)bits;
    rgb.resize((size_t)w * h * 3);
    for (size_t i = 0; i < (size_t)w * h; i++) {
        rgb[i * 3] = p[i * 4 + 2];
        rgb[i * 3 + 1] = p[i * 4 + 1];
        rgb[i * 3 + 2] = p[i * 4];
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return rgb;
}

size_t FfTestCountColours(const std::vector<unsigned char>& rgb)
{
    std::set<unsigned> colours;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        colours.insert(rgb[i] | (rgb[i + 1] << 8) | (rgb[i + 2] << 16));
    return colours.size();
}
