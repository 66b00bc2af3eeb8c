// wrenstall-fuzz TARGET|all [--runs N] [--seed S] [--corpus DIR] [--crashes DIR]
// An in-process, seeded mutation loop for the targets of FuzzTargets.h, for
// the parsers that only build for Windows. Each target runs its corpus
// (DIR\TARGET\*) and then N mutations of it; one line per target reports the
// inputs run, crashes, hangs (inputs slower than one second) and the slowest
// input's time. A crash writes the input to the crashes folder and ends the
// process with exit code 3; a hang is written there too and makes the exit
// code 1. An input still running after a minute is taken for an endless
// loop: it is written there and the process ends with exit code 4.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
#include <vector>

#include "drivers/FuzzTargets.h"

namespace {
struct Target {
    const char* name;
    void (*run)(const uint8_t*, size_t);
    size_t maxBytes;
};

const Target kTargets[] = {
    {"installer-data-utf8", FuzzInstallerDataUtf8, 4096},
    {"installer-data-utf16", FuzzInstallerDataUtf16, 4096},
    {"installer-data-trailer", FuzzInstallerDataTrailer, 4096},
    {"build-config", FuzzBuildConfig, 4096},
    {"server-answer", FuzzServerAnswer, 4096},
    {"http-headers", FuzzHttpHeaders, 256},
    {"msi-records", FuzzMsiRecords, 1024},
};

const double kHangSeconds = 1.0;
const ULONGLONG kStuckMilliseconds = 60000;

const char* const kTokens[] = {
    "=", "\r\n", "\n", "\r", "&", "?", "@", "+DO_NOT_ERASE+", "+DO_NOT_SAVE+", "P2", "P2_ORIGIN", "UL_STUBID",
    "TWPL", "\xEF\xBB\xBF", "\xC3", "\x80", "\xF4\x90\x80\x80", "\xED\xA0\x80", "<", "<html>", "text/html",
    "text/html; charset=utf-8", "application/xhtml+xml", " ", "1: ", "2: ", "3: ", "4: ", "5: ",
    "2147483647", "-2147483648", "4294967296", "18446744073709551615", "18446744073709551616", "0", "-", "bytes ",
    "*", "/", "\0",
};

// The input being run and when it started, for the crash handlers and the watchdog.
const std::vector<uint8_t>* volatile g_current = nullptr;
volatile ULONGLONG g_currentStart = 0;
const char* g_currentTarget = "";
std::string g_crashFolder = ".";

std::string SaveInput(const char* kind, const char* target, const std::vector<uint8_t>& input) {
    static unsigned count = 0;
    char name[512];
    std::snprintf(name, sizeof(name), "%s\\%s-%s-%lu-%u", g_crashFolder.c_str(), kind, target, GetCurrentProcessId(),
                  ++count);
    if (FILE* file = std::fopen(name, "wb")) {
        std::fwrite(input.data(), 1, input.size(), file);
        std::fclose(file);
    }
    return name;
}

[[noreturn]] void ReportCrash(const char* what) {
    std::string saved = g_current ? SaveInput("crash", g_currentTarget, *g_current) : "(no input)";
    std::fprintf(stdout, "%s: CRASH (%s), input saved as %s\n", g_currentTarget, what, saved.c_str());
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    std::abort();
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
    char what[64];
    std::snprintf(what, sizeof(what), "exception 0x%08lX", pointers->ExceptionRecord->ExceptionCode);
    ReportCrash(what);
}

void OnTerminate() { ReportCrash("an uncaught C++ exception"); }

// Ends the process when one input runs for longer than kStuckMilliseconds.
DWORD WINAPI Watchdog(void*) {
    while (true) {
        Sleep(1000);
        const std::vector<uint8_t>* input = g_current;
        ULONGLONG start = g_currentStart;
        if (!input || GetTickCount64() - start < kStuckMilliseconds) continue;
        std::printf("%s: HANG (still running after %llu s), input saved as %s\n", g_currentTarget,
                    kStuckMilliseconds / 1000, SaveInput("hang", g_currentTarget, *input).c_str());
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 4);
    }
}

std::vector<std::vector<uint8_t>> ReadCorpus(const std::string& folder) {
    std::vector<std::vector<uint8_t>> corpus;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return corpus;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::vector<uint8_t> bytes;
        if (FILE* file = std::fopen((folder + "\\" + found.cFileName).c_str(), "rb")) {
            int c;
            while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
            std::fclose(file);
        }
        corpus.push_back(bytes);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return corpus;
}

class Mutator {
public:
    Mutator(unsigned seed, const std::vector<std::vector<uint8_t>>& corpus, size_t maxBytes)
        : m_random(seed), m_corpus(corpus), m_maxBytes(maxBytes) {}

    std::vector<uint8_t> Next() {
        std::vector<uint8_t> input = m_corpus.empty() ? std::vector<uint8_t>() : m_corpus[Pick(m_corpus.size())];
        for (size_t steps = 1 + Pick(8); steps > 0; --steps) Mutate(input);
        if (input.size() > m_maxBytes) input.resize(m_maxBytes);
        return input;
    }

private:
    size_t Pick(size_t count) { return count ? std::uniform_int_distribution<size_t>(0, count - 1)(m_random) : 0; }

    void Mutate(std::vector<uint8_t>& input) {
        const size_t size = input.size();
        switch (Pick(9)) {
            case 0:
                if (size) input[Pick(size)] ^= static_cast<uint8_t>(1u << Pick(8));
                break;
            case 1:
                if (size) input[Pick(size)] = static_cast<uint8_t>(Pick(256));
                break;
            case 2: {
                size_t count = 1 + Pick(8);
                input.insert(input.begin() + Pick(size + 1), count, static_cast<uint8_t>(Pick(256)));
                break;
            }
            case 3:
                if (size) {
                    size_t at = Pick(size);
                    input.erase(input.begin() + at, input.begin() + at + 1 + Pick(size - at));
                }
                break;
            case 4:
                if (size) {  // repeat a piece, which grows lines and counts
                    size_t at = Pick(size);
                    size_t length = 1 + Pick(size - at);
                    std::vector<uint8_t> piece(input.begin() + at, input.begin() + at + length);
                    for (size_t times = 1 + Pick(16); times > 0 && input.size() < m_maxBytes; --times) {
                        input.insert(input.begin() + Pick(input.size() + 1), piece.begin(), piece.end());
                    }
                }
                break;
            case 5: {
                const char* token = kTokens[Pick(sizeof(kTokens) / sizeof(kTokens[0]))];
                size_t length = token[0] ? std::char_traits<char>::length(token) : 1;
                input.insert(input.begin() + Pick(size + 1), token, token + length);
                break;
            }
            case 6:
                if (!m_corpus.empty()) {  // splice with another corpus entry
                    const std::vector<uint8_t>& other = m_corpus[Pick(m_corpus.size())];
                    input.resize(Pick(size + 1));
                    size_t from = Pick(other.size() + 1);
                    input.insert(input.end(), other.begin() + from, other.end());
                }
                break;
            case 7:
                if (size >= 8) {  // a little-endian length near the end: the trailer's field
                    uint32_t values[] = {0, 1, static_cast<uint32_t>(size - 8), static_cast<uint32_t>(size - 7),
                                         static_cast<uint32_t>(size), 0x7FFFFFFF, 0xFFFFFFFF,
                                         static_cast<uint32_t>(Pick(size))};
                    uint32_t value = values[Pick(sizeof(values) / sizeof(values[0]))];
                    for (int i = 0; i < 4; ++i) input[size - 8 + i] = static_cast<uint8_t>(value >> (8 * i));
                }
                break;
            default:
                if (size >= 2) {  // swap two bytes
                    std::swap(input[Pick(size)], input[Pick(size)]);
                }
                break;
        }
    }

    std::mt19937 m_random;
    const std::vector<std::vector<uint8_t>>& m_corpus;
    size_t m_maxBytes;
};

struct Figures {
    unsigned long long inputs = 0;
    unsigned crashes = 0;
    unsigned hangs = 0;
    double slowest = 0;
};

Figures RunTarget(const Target& target, unsigned long long runs, unsigned seed, const std::string& corpusFolder) {
    std::vector<std::vector<uint8_t>> corpus = ReadCorpus(corpusFolder + "\\" + target.name);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    Figures figures;
    Mutator mutator(seed, corpus, target.maxBytes);
    g_currentTarget = target.name;
    auto runOne = [&](const std::vector<uint8_t>& input) {
        g_currentStart = GetTickCount64();
        g_current = &input;
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        target.run(input.data(), input.size());
        QueryPerformanceCounter(&end);
        g_current = nullptr;
        double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
        if (seconds > figures.slowest) figures.slowest = seconds;
        if (seconds > kHangSeconds) {
            ++figures.hangs;
            std::printf("%s: HANG (%.3f s), input saved as %s\n", target.name, seconds,
                        SaveInput("hang", target.name, input).c_str());
        }
        ++figures.inputs;
    };
    for (const std::vector<uint8_t>& input : corpus) runOne(input);
    for (unsigned long long i = 0; i < runs; ++i) runOne(mutator.Next());
    return figures;
}
}  // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(OnUnhandledException);
    std::set_terminate(OnTerminate);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    if (argc < 2) {
        std::fprintf(stderr, "usage: wrenstall-fuzz TARGET|all [--runs N] [--seed S] [--corpus DIR] [--crashes DIR]\n");
        return 2;
    }
    std::string which = argv[1];
    unsigned long long runs = 10000;
    unsigned seed = 1;
    std::string corpus = ".";
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--runs") runs = std::strtoull(argv[i + 1], nullptr, 10);
        else if (option == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (option == "--corpus") corpus = argv[i + 1];
        else if (option == "--crashes") g_crashFolder = argv[i + 1];
    }
    bool any = false;
    unsigned failures = 0;
    for (const Target& target : kTargets) {
        if (which != "all" && which != target.name) continue;
        any = true;
        Figures figures = RunTarget(target, runs, seed, corpus);
        std::printf("%-24s inputs %llu, crashes %u, hangs %u, slowest %.3f ms\n", target.name, figures.inputs,
                    figures.crashes, figures.hangs, figures.slowest * 1000);
        std::fflush(stdout);
        failures += figures.crashes + figures.hangs;
    }
    if (!any) {
        std::fprintf(stderr, "wrenstall-fuzz: no target %s\n", which.c_str());
        return 2;
    }
    return failures ? 1 : 0;
}
