// JPEGs encoded by libjpeg for the tests, so that no binary picture is kept in the tree.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// libjpeg's header needs size_t and FILE declared first.
extern "C" {
#include <jpeglib.h>
}

// Noise in every pixel by default, so that no two rows are alike and a decoder that hands back
// the wrong row shows it; a gradient compresses to a small file.
struct JpegPicture {
    std::int32_t width = 8;
    std::int32_t height = 8;
    int components = 3;                             // 1 (grey) or 3 (YCbCr)
    int sampling[3][2] = {{2, 2}, {1, 1}, {1, 1}};  // horizontal, vertical per component
    bool progressive = false;
    unsigned restartRows = 0;  // restart interval in MCU rows
    bool gradient = false;
};

// Bytes is std::string or a vector of bytes.
template <typename Bytes = std::vector<std::uint8_t>>
Bytes MakeJpeg(const JpegPicture& picture) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &data, &size);
    cinfo.image_width = JDIMENSION(picture.width);
    cinfo.image_height = JDIMENSION(picture.height);
    cinfo.input_components = picture.components;
    cinfo.in_color_space = picture.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    for (int c = 0; c < picture.components; ++c) {
        cinfo.comp_info[c].h_samp_factor = picture.sampling[c][0];
        cinfo.comp_info[c].v_samp_factor = picture.sampling[c][1];
    }
    cinfo.restart_in_rows = int(picture.restartRows);
    if (picture.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(std::size_t(picture.width) * picture.components);
    std::uint32_t noise = 12345;
    while (cinfo.next_scanline < cinfo.image_height) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            noise = noise * 1103515245u + 12345u;
            const int channel = int(i % picture.components);
            const unsigned shade = channel == 0   ? unsigned(i / picture.components) * 4
                                   : channel == 1 ? cinfo.next_scanline * 4
                                                  : 128;
            row[i] = JSAMPLE(picture.gradient ? shade : noise >> 23);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    jpeg_destroy_compress(&cinfo);
    std::free(data);
    return out;
}
