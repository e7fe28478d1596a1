/* saverpak_module.h: what a module program of the Saverpak screen saver needs to read the
 * arguments the saver gives it. One header, C or C++, nothing beyond <windows.h>.
 *
 * Copyright (c) 2026 the Saverpak authors. MIT licence:
 *
 * Permission is hereby granted, free of charge, to any person obtaining a copy of this software
 * and associated documentation files (the "Software"), to deal in the Software without
 * restriction, including without limitation the rights to use, copy, modify, merge, publish,
 * distribute, sublicense, and/or sell copies of the Software, and to permit persons to whom the
 * Software is furnished to do so, subject to the following conditions:
 *
 * The above copyright notice and this permission notice shall be included in all copies or
 * substantial portions of the Software.
 *
 * THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, INCLUDING
 * BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND
 * NONINFRINGEMENT. IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM,
 * DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM,
 * OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE SOFTWARE.
 *
 * The contract (docs/MODULES.md tells the whole of it):
 *   Before each start of the program the saver writes the argument file beside it: the
 *   program's own path with the extension of its file name replaced by ".cfg" (".cfg" appended
 *   when the name has none; a dot in a folder name is not an extension). The file holds exactly
 *       SS_Sound=s&SS_Music=m&SS_Days=d
 *   with no line end: s and m are 0 (always, on), 1 (once) or 2 (never, off), d the whole days
 *   from today's local date to the next 25 December (0 on the day itself, at most 365).
 *
 *   SaverpakReadArguments(&arguments) reads that file. What it cannot take from the file (no
 *   file, a value missing, malformed or out of range, a file longer than the saver writes) it
 *   fills with the saver's own defaults, Sound 0, Music 0 and Days counted from today's local
 *   date by the saver's rule, and marks in `defaulted`. It reads at most a few hundred bytes
 *   and never fails: any file gives usable values.
 *
 *       SaverpakArguments arguments;
 *       if (!SaverpakReadArguments(&arguments)) {
 *           // run as a plain program: arguments.defaulted says what was made up
 *       }
 *       if (arguments.music != SAVERPAK_NEVER) StartMusic(arguments.music == SAVERPAK_ONCE);
 *
 *   The saver also gives every module its own full path (long form), in the environment
 *   variable SAVERPAK_SAVER, so that a module can read the saver's content or resources:
 *   SaverpakSaverPath(buffer, count) copies it.
 *
 * The functions are static inline: include the header in as many files as you like.
 */
#ifndef SAVERPAK_MODULE_H
#define SAVERPAK_MODULE_H

#include <windows.h>

#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define SAVERPAK_API static inline
#else
#define SAVERPAK_API static __inline
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The values of Sound and Music. */
#define SAVERPAK_ALWAYS 0 /* always, on: the default */
#define SAVERPAK_ONCE 1
#define SAVERPAK_NEVER 2 /* never, off */

/* Bits of SaverpakArguments.defaulted: the values that did not come from the file. */
#define SAVERPAK_DEFAULTED_SOUND 1u
#define SAVERPAK_DEFAULTED_MUSIC 2u
#define SAVERPAK_DEFAULTED_DAYS 4u
#define SAVERPAK_DEFAULTED_ALL 7u

/* The saver's argument text is at most this long; a longer file is not the saver's. */
#define SAVERPAK_ARGUMENTS_MAX 511
/* The longest path of the program that is looked at, in UTF-16 units (the saver's paths have
 * at most 260 characters, which may take two units each). */
#define SAVERPAK_PATH_MAX 1024

typedef struct SaverpakArguments {
    int sound;          /* SAVERPAK_ALWAYS, SAVERPAK_ONCE or SAVERPAK_NEVER */
    int music;          /* the same */
    int days;           /* 0-365: whole days to the next 25 December, 0 on the day */
    unsigned defaulted; /* SAVERPAK_DEFAULTED_* bits */
} SaverpakArguments;

/* Whole days from the date of `now` to the next 25 December, as the saver counts them: the
 * same time of day on 25 December of this year (of the next, from 26 December on), both as
 * FILETIME, the difference divided by a day's 864,000,000,000 units. */
SAVERPAK_API int SaverpakDaysToChristmas(const SYSTEMTIME* now) {
    SYSTEMTIME christmas = *now;
    FILETIME from, to;
    ULARGE_INTEGER a, b;
    christmas.wMonth = 12;
    christmas.wDay = 25;
    if (now->wMonth == 12 && now->wDay > 25) christmas.wYear = (WORD)(christmas.wYear + 1);
    if (!SystemTimeToFileTime(now, &from) || !SystemTimeToFileTime(&christmas, &to)) return 0;
    a.LowPart = from.dwLowDateTime;
    a.HighPart = from.dwHighDateTime;
    b.LowPart = to.dwLowDateTime;
    b.HighPart = to.dwHighDateTime;
    if (b.QuadPart < a.QuadPart) return 0;
    return (int)((b.QuadPart - a.QuadPart) / 864000000000ULL);
}

/* The saver's defaults: Sound and Music 0, Days from today's local date; all marked. */
SAVERPAK_API void SaverpakDefaultArguments(SaverpakArguments* arguments) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    arguments->sound = SAVERPAK_ALWAYS;
    arguments->music = SAVERPAK_ALWAYS;
    arguments->days = SaverpakDaysToChristmas(&now);
    arguments->defaulted = SAVERPAK_DEFAULTED_ALL;
}

/* Whether the bytes of `text` from `at` up to `end` are the NUL-terminated `word`. */
SAVERPAK_API int SaverpakIs(const char* text, size_t at, size_t end, const char* word) {
    size_t i = 0;
    while (word[i]) {
        if (at + i >= end || text[at + i] != word[i]) return 0;
        ++i;
    }
    return at + i == end;
}

/* Takes the values from an argument text of `length` bytes (not NUL-terminated). `arguments`
 * holds the defaults on entry; each pair "key=value" that the saver writes and whose value is
 * a decimal number in range replaces one, and clears its bit in `defaulted`. Pairs of other
 * keys are passed over. */
SAVERPAK_API void SaverpakParseArguments(const char* text, size_t length,
                                         SaverpakArguments* arguments) {
    size_t start = 0;
    while (start <= length) {
        size_t end = start, equals, i;
        long value = 0;
        int digits = 0;
        while (end < length && text[end] != '&') ++end;
        for (equals = start; equals < end && text[equals] != '='; ++equals) {
        }
        /* At most three digits: no value in range needs more, and nothing can overflow. */
        for (i = equals + 1; equals < end && i < end; ++i) {
            if (text[i] < '0' || text[i] > '9' || ++digits > 3) {
                digits = 0;
                break;
            }
            value = value * 10 + (text[i] - '0');
        }
        if (digits > 0) {
            if (SaverpakIs(text, start, equals, "SS_Sound") && value <= 2) {
                arguments->sound = (int)value;
                arguments->defaulted &= ~SAVERPAK_DEFAULTED_SOUND;
            } else if (SaverpakIs(text, start, equals, "SS_Music") && value <= 2) {
                arguments->music = (int)value;
                arguments->defaulted &= ~SAVERPAK_DEFAULTED_MUSIC;
            } else if (SaverpakIs(text, start, equals, "SS_Days") && value <= 365) {
                arguments->days = (int)value;
                arguments->defaulted &= ~SAVERPAK_DEFAULTED_DAYS;
            }
        }
        start = end + 1;
    }
}

/* The argument file of the program at `program`: the extension of the file name replaced by
 * ".cfg", or ".cfg" appended when the name has none, as the saver names it. A dot in a folder
 * name is no extension: the name starts after the last '\', '/' or ':'. False when the result
 * does not fit `size` units. */
SAVERPAK_API BOOL SaverpakArgumentFilePath(const WCHAR* program, WCHAR* out, size_t size) {
    static const WCHAR extension[] = {'.', 'c', 'f', 'g', 0};
    size_t length = 0, name = 0, keep, i;
    while (program[length]) {
        if (program[length] == '\\' || program[length] == '/' || program[length] == ':') {
            name = length + 1;
        }
        ++length;
    }
    keep = length;
    for (i = name; i < length; ++i) {
        if (program[i] == '.') keep = i;
    }
    if (keep + sizeof extension / sizeof extension[0] > size) return FALSE;
    for (i = 0; i < keep; ++i) out[i] = program[i];
    for (i = 0; i < sizeof extension / sizeof extension[0]; ++i) out[keep + i] = extension[i];
    return TRUE;
}

/* Reads the argument file of the program at `program` (a full path). Returns TRUE when all
 * three values came from the file; otherwise the rest are the defaults, marked in
 * `arguments->defaulted`. */
SAVERPAK_API BOOL SaverpakReadArgumentsOf(const WCHAR* program, SaverpakArguments* arguments) {
    WCHAR path[SAVERPAK_PATH_MAX + 8];
    char text[SAVERPAK_ARGUMENTS_MAX + 1];
    DWORD total = 0, read = 0;
    HANDLE file;
    SaverpakDefaultArguments(arguments);
    if (!SaverpakArgumentFilePath(program, path, sizeof path / sizeof path[0])) return FALSE;
    file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    /* A file only: a pipe or a device could keep the read waiting. One byte more than the saver
     * writes tells a longer file, which is not its. */
    if (GetFileType(file) == FILE_TYPE_DISK) {
        while (total < sizeof text &&
               ReadFile(file, text + total, (DWORD)sizeof text - total, &read, NULL) && read > 0) {
            total += read;
        }
    } else {
        total = sizeof text;
    }
    CloseHandle(file);
    if (total < sizeof text) SaverpakParseArguments(text, total, arguments);
    return arguments->defaulted == 0;
}

/* The one call: reads the argument file beside the running program (found through
 * GetModuleFileNameW, so a path of any letters does). Returns TRUE when all three values came
 * from the file; the rest are the saver's defaults, marked in `arguments->defaulted`. */
SAVERPAK_API BOOL SaverpakReadArguments(SaverpakArguments* arguments) {
    WCHAR program[SAVERPAK_PATH_MAX];
    DWORD length = GetModuleFileNameW(NULL, program, SAVERPAK_PATH_MAX);
    if (length == 0 || length >= SAVERPAK_PATH_MAX) {
        SaverpakDefaultArguments(arguments);
        return FALSE;
    }
    return SaverpakReadArgumentsOf(program, arguments);
}

/* The full path of the saver that started this program (long form, as GetModuleFileNameW and
 * GetLongPathNameW give it), NUL-terminated in `buffer` of `count` units. Returns nonzero on
 * success; 0 when the program was not started by a saver (SAVERPAK_SAVER unset or empty) or the
 * path does not fit. Open the file for reading only, and share it: the saver holds it open. */
SAVERPAK_API BOOL SaverpakSaverPath(WCHAR* buffer, size_t count) {
    DWORD length;
    if (count == 0) return FALSE;
    if (count > 32768) count = 32768; /* no path is longer */
    length = GetEnvironmentVariableW(L"SAVERPAK_SAVER", buffer, (DWORD)count);
    return length > 0 && length < count;
}

#ifdef __cplusplus
}
#endif

#endif /* SAVERPAK_MODULE_H */
