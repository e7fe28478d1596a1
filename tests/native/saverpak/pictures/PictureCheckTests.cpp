// The pictures build accepts: exactly those the saver shows.
#include <gtest/gtest.h>

#include <string>

#include "SaverInputs.h"
#include "TestFolder.h"
#include "tools/saverpak/Commands.h"

namespace {

// What build accepts, the saver shows: build succeeds exactly when the saver's own load, fit
// into the preview and change to 24 bits do; a refusal names the picture.
TEST(SaverpakBuild, AcceptsExactlyThePicturesTheSaverShows) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    const std::string manifest =
        folder.Write("saver.toml",
                     "[[module]]\nexternal = true\nname = \"C:/Show/show.exe\"\n"
                     "[[picture]]\nfile = \"p.bmp\"\n");
    auto with = [](std::string b, std::size_t at, std::uint32_t v) {
        return b.replace(at, 4, Le32Bytes(v));
    };
    auto rle8 = [&](const std::string& data) {  // 4 x 2
        return with(with(BmpBytes(4, 2, 0, 8), 30, 1), 34, std::uint32_t(data.size()))
                   .substr(0, 1078) +
               data;
    };
    const std::pair<std::string, bool> cases[] = {
        {BmpBytes(21844, 2, 0, 8), true},
        {BmpBytes(21845, 2, 0, 8), false},
        {BmpBytes(21845, 2, 0, 1), false},
        {BmpBytes(21845, 1), false},
        {with(BmpBytes(4, 2), 34, 26) + std::string(2, '\0'), true},  // image size counts padding
        {with(BmpBytes(4, 2), 34, 26), true},                         // the padding is not there
        {with(rle8(std::string("\2\5\0\1", 4)), 34, 0), false},       // RLE without image size
        {rle8(std::string("\11\1\0\1", 4)), false},                   // a run past the block
        {rle8(std::string("\2\5\0\0\1\6\0\0\0\1", 10)), true},  // a line end after the last row
    };
    for (const auto& [bytes, shown] : cases) {
        SCOPED_TRACE(bytes.size());
        const std::string picture = folder.Write("p.bmp", bytes);
        ssPicture saver;
        EXPECT_EQ(ErrorOf([&] {
                      saver.Load(picture.c_str());
                      saver.Resize(RECT{0, 0, 152, 112});
                      if (saver.IncreaseColorDepth() != 0) throw std::runtime_error("depth");
                  }).empty(),
                  shown);
        const std::string error =
            ErrorOf([&] { BuildSaver(folder.Path("stub.scr"), manifest, folder.Path("out.scr")); });
        EXPECT_EQ(error.empty(), shown) << error;
        EXPECT_EQ(error.find("picture 0") != std::string::npos &&
                      error.find(picture) != std::string::npos,
                  !shown);
    }
}

}  // namespace
