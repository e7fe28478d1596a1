#include "tools/saverpak/container/Inspect.h"

#include <algorithm>
#include <stdexcept>

#include "imaging/Transitionsunit.h"
#include "package/PakEntries.h"
#include "package/kwPak.h"

namespace {

PakStringInfo ReadStringInfo(ssPak& pak, std::uint32_t position) {
    PakStringInfo info;
    ssPakString text(pak, static_cast<std::int32_t>(position));
    info.Span = {position, kStringDescriptorSize + text.Length()};
    info.Length = text.Length();
    if (!text.IsNone()) info.Text = std::string(text.Text(), text.Length());
    return info;
}

PakDataInfo ReadDataInfo(ssPak& pak, std::uint32_t position) {
    PakDataInfo info;
    if (position > kMaxPakPosition) pak.RaiseReadError();
    info.Length = pak.ReadDataBlockLength(static_cast<std::int32_t>(position));
    if (!pak.FitsInContainer(static_cast<std::uint64_t>(position) + kDataBlockHeaderSize,
                             info.Length))
        pak.RaiseReadError();
    info.Span = {position, kDataBlockHeaderSize + static_cast<std::uint64_t>(info.Length)};
    return info;
}

// Reads a data block through to its end, as the saver's extraction would.
void ReadDataBytes(ssPak& pak, const PakDataInfo& data) {
    pak.StreamBytes(static_cast<std::int32_t>(data.Span.Position + kDataBlockHeaderSize),
                    data.Length, [](const std::uint8_t*, std::uint32_t) {});
}

PakTableInfo TableInfo(std::uint32_t offset, std::span<const std::uint32_t> entries) {
    PakTableInfo table;
    table.Entries.assign(entries.begin(), entries.end());
    table.Span = {entries.empty() ? 0 : offset, entries.size() * 4};
    return table;
}

void ReadFrame(kwPak& pak, PakReport& report) {
    report.Path = pak.Path();
    report.FileSize = pak.FileSize();
    if (pak.Signature())
        report.Signature = PakSpan{pak.Signature()->Position, pak.Signature()->Size};
    report.Trailer = pak.Trailer();
    report.TrailerSpan = {pak.ContainerEnd() - kTrailerSize, kTrailerSize};
    report.Index = pak.Index();
    report.IndexSpan = {report.Trailer.IndexOffset, kPakIndexSize};
    report.ModuleTable = TableInfo(report.Index.ModuleTableOffset, pak.ModuleTable());
    report.ContentTable = TableInfo(report.Index.ContentTableOffset, pak.ContentTable());
    report.KeyTable = TableInfo(report.Index.KeyTableOffset, pak.KeyPositions());
    report.Settings = pak.Settings();
    report.SettingsSpan = {report.Index.SettingsOffset, kSettingsSize};
}

void ReadModules(kwPak& pak, InspectDepth depth, PakReport& report) {
    for (std::uint32_t position : pak.ModuleTable()) {
        PakModuleInfo info;
        ssModuleEntry entry;
        ReadModuleEntry(pak, static_cast<std::int32_t>(position), entry);
        info.Span = {position, kModuleDescriptorSize};
        info.Descriptor = entry.Descriptor;
        info.Name = ReadStringInfo(pak, entry.Descriptor.NameOffset);
        if (!entry.IsExternal()) {
            info.Data = ReadDataInfo(pak, entry.Descriptor.DataOffset);
            if (depth == InspectDepth::Everything) ReadDataBytes(pak, *info.Data);
        }
        report.Modules.push_back(std::move(info));
    }
}

void ReadPictures(kwPak& pak, InspectDepth depth, PakReport& report) {
    for (std::uint32_t position : pak.ContentTable()) {
        PakPictureInfo info;
        info.Descriptor = ReadPictureDescriptor(pak, static_cast<std::int32_t>(position));
        info.Span = {position, kPictureDescriptorSize};
        info.Data = ReadDataInfo(pak, info.Descriptor.DataOffset);
        if (depth == InspectDepth::Everything) {
            // Decoded as the saver decodes it, by its stored type, so content of the other
            // kind or a picture the saver cannot read fails here with the saver's message.
            ssPicture picture;
            picture.Load(pak, static_cast<std::int32_t>(position));
        }
        report.Pictures.push_back(std::move(info));
    }
}

// Bind has loaded and checked the entries; read them again here for their positions.
void ReadKeys(kwPak& pak, PakReport& report) {
    for (std::uint32_t position : pak.KeyPositions()) {
        std::uint8_t bytes[kKeyEntrySize];
        pak.ReadRecord(static_cast<std::int32_t>(position), bytes, kKeyEntrySize);
        PakKeyInfo info;
        info.Span = {position, kKeyEntrySize};
        info.Entry = PakKeyEntry::Decode(bytes);
        if (info.Entry.Function == kShellExecute)
            info.Command = ReadStringInfo(pak, info.Entry.CommandOffset);
        report.Keys.push_back(std::move(info));
    }
}

// The lowest position any record of the container takes.
std::uint64_t ContainerStart(const PakReport& report) {
    std::uint64_t start = std::min(report.IndexSpan.Position, report.SettingsSpan.Position);
    auto lower = [&](const PakSpan& span) {
        if (span.Size != 0) start = std::min(start, span.Position);
    };
    lower(report.ModuleTable.Span);
    lower(report.ContentTable.Span);
    lower(report.KeyTable.Span);
    for (const PakModuleInfo& m : report.Modules) {
        lower(m.Span);
        lower(m.Name.Span);
        if (m.Data) lower(m.Data->Span);
    }
    for (const PakPictureInfo& p : report.Pictures) {
        lower(p.Span);
        lower(p.Data.Span);
    }
    for (const PakKeyInfo& k : report.Keys) {
        lower(k.Span);
        if (k.Command) lower(k.Command->Span);
    }
    return start;
}

}  // namespace

PakReport InspectPak(const std::string& path, InspectDepth depth) {
    PakReport report;
    kwPak pak;
    ScopedUnbind scope(pak);
    pak.Bind(path.c_str());
    ReadFrame(pak, report);
    ReadModules(pak, depth, report);
    ReadPictures(pak, depth, report);
    ReadKeys(pak, report);
    report.ContainerStart = ContainerStart(report);
    return report;
}
