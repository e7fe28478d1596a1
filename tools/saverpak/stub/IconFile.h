// An icon file (.ico) taken apart into the resources a program carries: one RT_ICON per image
// and the RT_GROUP_ICON that lists them. Any sizes and depths, PNG-compressed images included;
// each image is checked to be what its directory entry says before it is used.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct IconImage {
    std::uint32_t Width = 0, Height = 0;  // in pixels (256 where the directory says 0)
    std::uint16_t BitCount = 0;
    bool Png = false;
    std::vector<std::uint8_t> Bytes;  // the image as the .ico holds it
};

// The images of an .ico file; throws FormatError with the reason it cannot be used.
std::vector<IconImage> ParseIconFile(std::span<const std::uint8_t> bytes);

// The group resource for `images`, whose RT_ICON resources have the numbers `ids`.
std::vector<std::uint8_t> IconGroup(const std::vector<IconImage>& images,
                                    const std::vector<std::uint16_t>& ids);

struct IconGroupEntry {
    std::uint32_t Width = 0, Height = 0;
    std::uint16_t BitCount = 0;
    std::uint16_t Id = 0;
};

// The entries of a group resource; empty when it is not one.
std::vector<IconGroupEntry> ReadIconGroup(std::span<const std::uint8_t> bytes);
