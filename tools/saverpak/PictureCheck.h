// Whether a picture file is one the saver can show. The picture type stored in the container is
// taken from the content (its signature), never from the file's extension.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// kPictureBmp or kPictureJpeg by signature; nullopt for anything else.
std::optional<std::uint8_t> RecognizePicture(const std::vector<std::uint8_t>& bytes);

// "" when the saver can decode the picture, else why not. A BMP must have the header the
// saver reads (40-byte info header; 1, 4, 8 or 24 bits; RLE only at 4 and 8 bits; pixel data
// straight after the colour table, all of it present); a JPEG must decode completely as grey or
// colour.
std::string PictureProblem(const std::vector<std::uint8_t>& bytes, std::uint8_t type);
