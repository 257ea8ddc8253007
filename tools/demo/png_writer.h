// A minimal PNG writer (stored deflate blocks) for the screenshots the overlay tests take.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// rgb: width * height pixels, 3 bytes each, rows top to bottom.
std::string FfTestEncodePng(int width, int height, const std::vector<unsigned char>& rgb);
// Copies a screen rectangle (the screen DC, so composited children are included) as RGB.
std::vector<unsigned char> FfTestCaptureScreen(const RECT& r);
// Number of distinct colours in an RGB picture.
size_t FfTestCountColours(const std::vector<unsigned char>& rgb);
