// Bitmaps made and written through the host's bitmap manager.
#pragma once

#include <memory>
#include <string>

#include "sdk/math.h"

struct BMM_Color_fl {
    float r = 0, g = 0, b = 0, a = 1;
};

struct BitmapInfo {
    std::string name;  // output file path
    int width = 0;
    int height = 0;
};

class Bitmap {
public:
    virtual ~Bitmap() = default;
    virtual int Width() = 0;
    virtual int Height() = 0;
    // Writes count pixels of row y starting at x. Returns false outside the bitmap.
    virtual bool PutPixels(int x, int y, int count, const BMM_Color_fl* pixels) = 0;
    virtual bool OpenOutput(const BitmapInfo& info) = 0;
    // Writes the single frame to the opened output; false when the file cannot be written.
    virtual bool Write(const BitmapInfo& info) = 0;
    virtual void Close(const BitmapInfo& info) = 0;
};

class BitmapManager {
public:
    virtual ~BitmapManager() = default;
    // A new bitmap of the description's size; null when it cannot be made.
    virtual std::unique_ptr<Bitmap> Create(const BitmapInfo& info) = 0;
};
