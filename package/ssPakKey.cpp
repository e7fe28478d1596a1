#include "package/ssPakKey.h"

#include <stdexcept>

int ssPakKey::Allocate(std::uint32_t key) const {
    for (int i = 0; i < kEntryCount; ++i) {
        if (FEntries[i].Key == key || FEntries[i].Key == 0) return i;
    }
    throw std::runtime_error("Allocate key failed, table is full.");
}

void ssPakKey::AddExit(std::uint32_t key) {
    Entry& entry = FEntries[Allocate(key)];
    entry.Key = key;
    entry.Function = kExitAndLeaveRunning;
    entry.Command.Clear();
}

void ssPakKey::AddShellExecute(std::uint32_t key, const char* command) {
    Entry& entry = FEntries[Allocate(key)];
    entry.Key = key;
    entry.Function = kShellExecute;
    entry.Command.Assign(command);
}

void ssPakKey::LoadEntry(ssPak& pak, std::int32_t position) {
    std::uint8_t bytes[kKeyEntrySize];
    pak.ReadRecord(position, bytes, sizeof bytes);
    PakKeyEntry record = PakKeyEntry::Decode(bytes);
    if (record.StructSize != kKeyEntrySize)
        throw std::runtime_error("File is corrupt. Invalid key entry size.");
    if (record.Function == kExitAndLeaveRunning) {
        AddExit(record.Key);
    } else if (record.Function == kShellExecute) {
        ssPakString command(pak, static_cast<std::int32_t>(record.CommandOffset));
        AddShellExecute(record.Key, command.Text());
    } else {
        throw std::runtime_error("File is corrupt. Invalid function in key table.");
    }
}

const ssPakKey::Entry* ssPakKey::Find(std::uint32_t key) const {
    if (key == 0) return nullptr;
    for (const Entry& entry : FEntries) {
        if (entry.Key == key) return &entry;
    }
    return nullptr;
}

int ssPakKey::Count() const {
    int count = 0;
    while (count < kEntryCount && FEntries[count].Key != 0) ++count;
    return count;
}

void ssPakKey::Clear() {
    for (Entry& entry : FEntries) {
        entry.Key = 0;
        entry.Function = kExitAndLeaveRunning;
        entry.Command.Clear();
    }
}
