// In-process checks of the settings module: its name and registry key from the program's file
// name, and its values through the registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/Registry.h"
#include "presentation/DataUnit.h"
#include "tests/wine/UnitTestHelpers.h"

TEST(Settings, NameAndKeyFromTheFileName) {
    struct Case {
        const char* path;
        const char* base;
    } cases[] = {
        {"C:\\nowhere\\SAVER.SCR", "SAVER"},         {"C:\\nowhere\\My.Night.scr", "My.Night"},
        {"C:\\nowhere\\NoExtension", "NoExtension"}, {"D:saver.scr", "saver"},
        {"C:/nowhere/slash.scr", "slash"},
    };
    for (const Case& c : cases) {
        TScreensaverSettings settings(nullptr, c.path);
        EXPECT_STREQ(settings.BaseName(), c.base) << c.path;
        EXPECT_EQ(settings.KeyPath(), std::string("\\Software\\Saverpak\\") + c.base);
    }
}

TEST(Settings, RoundTripThroughTheRegistry) {
    const char* path = "C:\\nowhere\\Saverpak Round Trip.scr";
    ScratchKey key("Software\\Saverpak\\Saverpak Round Trip");
    {
        TScreensaverSettings fresh(nullptr, path);  // no key: both on
        EXPECT_EQ(fresh.Sound, 0);
        EXPECT_EQ(fresh.Music, 0);
        fresh.Sound = 2;
        fresh.Music = 1;
        fresh.Save();
    }
    EXPECT_EQ(key.GetDword("Sound"), 2u);
    TScreensaverSettings loaded(nullptr, path);
    EXPECT_EQ(loaded.Sound, 2);
    EXPECT_EQ(loaded.Music, 1);
    loaded.Sound = -1;
    loaded.Save();
    EXPECT_EQ(key.GetDword("Sound"), 0xFFFFFFFFu);  // widened with its sign

    key.SetDword("Sound", 258);  // low 8 bits: 2
    loaded.Load();
    EXPECT_EQ(loaded.Sound, 2);

    key.SetBytes("Music", REG_SZ, "2", 2);  // not an integer: the framework's registry error
    EXPECT_THROW(TScreensaverSettings(nullptr, path), fw::ERegistryException);
    DWORD four = 4;
    key.SetBytes("Music", REG_BINARY, &four, sizeof(four));
    EXPECT_THROW(loaded.Load(), fw::ERegistryException);
}
