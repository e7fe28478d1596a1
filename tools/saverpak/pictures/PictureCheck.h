// Whether a picture file is one the saver can show. The picture type stored in the container is
// taken from the content (its signature), never from the file's extension.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// "" when the saver can decode the picture, else why not. A BMP must have the header the
// saver reads (40-byte info header; 1, 4, 8 or 24 bits; RLE only at 4 and 8 bits; pixel data
// straight after the colour table, all of it present); a JPEG must decode as the saver decodes
// it (grey, colour, CMYK or YCCK).
std::string PictureProblem(const std::vector<std::uint8_t>& bytes, std::uint8_t type);

// How a picture file goes into the container: as it is (a JPEG, a BMP the saver reads), or
// converted to a BMP the saver reads (a PNG, a BMP of 16 or 32 bits, with bit fields or
// top-down rows), with alpha composited over the background of its role: black for picture 0
// (the preview), the dialog face RGB(240,240,240) for picture 1 (the logo).
struct PicturePlan {
    std::uint8_t Type = 0;                               // kPictureBmp or kPictureJpeg
    std::optional<std::vector<std::uint8_t>> Converted;  // the BMP stored in the file's place
    std::string Note;  // for a converted one: "(PNG 400×300 with alpha) stored as an 8-bit BMP"
};

// "" and the plan, or why the picture (picture `index` of the manifest, named `name` in the
// advice on converting it) cannot be stored.
std::string PlanPicture(const std::vector<std::uint8_t>& bytes, std::size_t index,
                        const std::string& name, PicturePlan& plan);
