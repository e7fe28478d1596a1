// A sample container for the reader's tests: one embedded module, one external module, two
// pictures, two keys and settings.
#pragma once

#include <cstdint>
#include <string>

#include "RawPak.h"

struct SoundPak {
    RawPak pak{100};
    std::uint32_t moduleName, moduleData, module0, module1, picture0Data, picture0, picture1,
        keyCommand, key0, key1, settings;
    std::string program = "MZ" + std::string(5000, '\x11') + "end";

    SoundPak() {
        moduleName = pak.String("show.exe");
        moduleData = pak.Data(program);
        module0 = pak.Module(0x2, moduleName, moduleData, 7);
        std::uint32_t externalName = pak.String("C:\\Programs\\show.exe");
        module1 = pak.Module(0x1, externalName, 0);
        std::uint32_t moduleTable = pak.Table({module0, module1});
        picture0Data = pak.Data("BM....");
        picture0 = pak.Picture(0, picture0Data);
        std::uint32_t picture1Data = pak.Data("\xFF\xD8\xFF....");
        picture1 = pak.Picture(1, picture1Data);
        std::uint32_t contentTable = pak.Table({picture0, picture1});
        keyCommand = pak.String("https://example.invalid/");
        key0 = pak.Key(0x70, 1, keyCommand);
        key1 = pak.Key(0x71, 0, 0);
        std::uint32_t keyTable = pak.Table({key0, key1});
        settings = pak.Settings("https://example.invalid/", "Visit us", 1);
        pak.Finish({.ModuleTableOffset = moduleTable,
                    .ModuleCount = 2,
                    .KeyTableOffset = keyTable,
                    .KeyCount = 2,
                    .ContentCount = 2,
                    .ContentTableOffset = contentTable,
                    .SettingsOffset = settings});
    }
};
