// kestbench: what the trace pattern and the per-call settings cost, against the bare platform
// work measured in the same run. Prints figures; it passes or fails nothing.
//
// Run it in a Wine prefix of its own (bench/run.sh): it rewrites the KestIni stand-in's
// settings and the personal store "MY" of the prefix it runs in.
#include "BenchCertificates.h"
#include "BenchHarness.h"
#include "ImportPatch.h"

#include "KestCommon.h"
#include "KestIni.h"
#include "KestIniStandIn.h"
#include "KestLog.h"
#include "KestLogSettings.h"
#include "KestMyCert.h"
#include "KestMyCertOwners.h"
#include "KestMyCertText.h"
#include "KestSupportOwners.h"
#include "StandInSettings.h"

#include <windows.h>
#include <wincrypt.h>

#include <share.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace kest::bench {
namespace {

constexpr char kKestIniImport[] = "?KestIniRead@@YAKPEAD00@Z";
constexpr std::size_t kIniValueSize = kKestIniValueSize;

constexpr unsigned kListSizes[] = {50, 200, 400};
constexpr unsigned kCandidateSizes[] = {10, 100, 400};
constexpr unsigned kLargestStore = 400;

constexpr double kLogGoal = 1.25;
constexpr double kListGoal = 1.3;
constexpr double kFlatnessGoal = 1.2;

// A typical trace record, as the certificate library writes it.
constexpr char kSourceFile[] = "KestMyCertManager.cpp";
constexpr unsigned kSourceLine = 137;
constexpr char kMessage[] = "getCertNameString() start";

// --- settings and files -----------------------------------------------------------------

void setSetting(const char* section, const char* name, const std::string& value) {
    if (!setStandInValue(section, name, value.c_str()))
        throw std::runtime_error(std::string("cannot set the stand-in's setting ") + section + " " + name);
}

void setLogging(bool on) { setSetting(kLogSection, kWriteLogKey, on ? "1" : "0"); }

struct Paths {
    std::string directory;
    std::string log;
    std::string bareLog;
    std::string settings;
};

// A working directory in the prefix's temporary folder, made the installation directory.
Paths prepareInstallation() {
    char temporary[MAX_PATH] = {};
    if (GetTempPathA(sizeof temporary, temporary) == 0) throw std::runtime_error("GetTempPathA failed");
    Paths paths;
    paths.directory = std::string(temporary) + "kestbench";
    CreateDirectoryA(paths.directory.c_str(), nullptr);
    paths.log = paths.directory + "\\kest.log";
    paths.bareLog = paths.directory + "\\bare.log";
    paths.settings = paths.directory + "\\KestEnv.ini";
    setSetting("", standin::kInstallPathValue, paths.directory);
    setSetting(kLogSection, kLogPathKey, paths.log);
    return paths;
}

unsigned long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) return 0;
    return (static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
}

unsigned countLines(const std::string& path) {
    const UniqueFile file{std::fopen(path.c_str(), "rb")};
    if (!file) return 0;
    unsigned lines = 0;
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        for (std::size_t index = 0; index < got; ++index) lines += buffer[index] == '\n';
    return lines;
}

// --- call counting through the libraries' own imports ------------------------------------

using LogFunction = void (*)(const char*, unsigned, const char*);
using IniReadFunction = unsigned long (*)(char*, char*, char*);

unsigned long gLogCalls = 0;
unsigned long gSettingsReads = 0;
LogFunction gRealLog = nullptr;
IniReadFunction gRealIniRead = nullptr;

void countingLog(const char* sourceFile, unsigned line, const char* message) {
    ++gLogCalls;
    gRealLog(sourceFile, line, message);
}

void discardingLog(const char* /*sourceFile*/, unsigned /*line*/, const char* /*message*/) {}

unsigned long countingIniRead(char* section, char* key, char* value) {
    ++gSettingsReads;
    return gRealIniRead(section, key, value);
}

// Counts the records KestCommon hands to Log and the settings reads Log makes.
class CallCount {
public:
    CallCount()
        : log_("KestCommon.dll", "KestLog.dll", "Log", reinterpret_cast<const void*>(&countingLog)),
          iniRead_("KestLog.dll", "KestIni.dll", kKestIniImport, reinterpret_cast<const void*>(&countingIniRead)) {
        gRealLog = log_.original<LogFunction>();
        gRealIniRead = iniRead_.original<IniReadFunction>();
        reset();
    }
    // The counts are the patches': they mean something only while this object holds them.
    // NOLINTNEXTLINE(readability-convert-member-functions-to-static): counts of this object's patches
    void reset() noexcept { gLogCalls = gSettingsReads = 0; }
    // NOLINTNEXTLINE(readability-convert-member-functions-to-static): as reset
    [[nodiscard]] unsigned long records() const noexcept { return gLogCalls; }
    // NOLINTNEXTLINE(readability-convert-member-functions-to-static): as reset
    [[nodiscard]] unsigned long settingsReads() const noexcept { return gSettingsReads; }

private:
    ImportPatch log_;
    ImportPatch iniRead_;
};

// KestCommon's records go nowhere, not even to the settings read of Log: what is left of a
// call is the library's own work plus the formatting of its trace texts.
class TraceDiscarded {
public:
    TraceDiscarded() : log_("KestCommon.dll", "KestLog.dll", "Log", reinterpret_cast<const void*>(&discardingLog)) {}

private:
    ImportPatch log_;
};

// KestLog's settings answered from memory: Log without the cost of the settings service.
std::string gLogPathAnswer;

unsigned long answerFromMemory(char* /*section*/, char* key, char* value) {
    const char* answer = std::strcmp(key, kWriteLogKey) == 0 ? "1" : gLogPathAnswer.c_str();
    std::strncpy(value, answer, kIniValueSize - 1);
    return ERROR_SUCCESS;
}

class SettingsFromMemory {
public:
    explicit SettingsFromMemory(const std::string& logPath)
        : iniRead_("KestLog.dll", "KestIni.dll", kKestIniImport, reinterpret_cast<const void*>(&answerFromMemory)) {
        gLogPathAnswer = logPath;
    }

private:
    ImportPatch iniRead_;
};

// --- 1. Log against a bare append ---------------------------------------------------------

std::string recordBytes() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char timestamp[32];
    std::snprintf(timestamp, sizeof timestamp, "[%d/%02d %02d:%02d:%02d]", now.wMonth, now.wDay, now.wHour, now.wMinute,
                  now.wSecond);
    return std::string(timestamp) + kSourceFile + "," + std::to_string(kSourceLine) + "," + kMessage + "\n";
}

// Returns the median time of one settings read, which the later figures are explained by.
double benchLog(const Paths& paths) {
    std::printf("\n== Log: one record, against a bare open-append-close of the same bytes ==\n");
    setLogging(true);
    const std::string line = recordBytes();
    const auto removeLogs = [&] {
        DeleteFileA(paths.log.c_str());
        DeleteFileA(paths.bareLog.c_str());
    };
    const auto logRecord = [] { Log(kSourceFile, kSourceLine, kMessage); };
    const auto bareAppend = [&] {
        const UniqueFile file{_fsopen(paths.bareLog.c_str(), "a+", _SH_DENYRW)};
        // As silent as Log, whose work it stands for.
        if (!file) return;
        (void)std::fputs(line.c_str(), file.get());
        (void)std::fflush(file.get());
    };
    const Plan plan{2, 15, 200};
    const Pair timed = measurePair(plan, logRecord, bareAppend, removeLogs);

    Pair withoutService{};
    {
        const SettingsFromMemory answered{paths.log};
        withoutService = measurePair(plan, logRecord, bareAppend, removeLogs);
    }

    // The parts of a record: one settings read alone, and Log up to its flag read.
    const double settingsRead = measure(plan, [] {
        // KestIniRead takes writable strings.
        char section[sizeof kLogSection];
        char key[sizeof kLogPathKey];
        std::memcpy(section, kLogSection, sizeof section);
        std::memcpy(key, kLogPathKey, sizeof key);
        char value[kIniValueSize] = {};
        static_cast<void>(KestIniRead(section, key, value));
    });
    setLogging(false);
    const double logOff = measure(plan, logRecord);
    setLogging(true);

    unsigned long readsPerRecord = 0;
    {
        const CallCount count;
        removeLogs();
        Log(kSourceFile, kSourceLine, kMessage);
        readsPerRecord = count.settingsReads();
    }
    removeLogs();
    // The same bytes reach both files (the timestamps may differ by a second, not in length).
    const bool bytesMatch = [&] {
        Log(kSourceFile, kSourceLine, kMessage);
        bareAppend();
        return countLines(paths.log) == 1 && fileSize(paths.log) == fileSize(paths.bareLog);
    }();
    removeLogs();

    // A long-lived log: the same record appended to a file that already holds many.
    constexpr unsigned kLongLogRecords = 20000;
    {
        // A shorter file would time the wrong figure.
        const UniqueFile file{std::fopen(paths.log.c_str(), "w")};
        if (!file) throw std::runtime_error("cannot write the long log " + paths.log);
        for (unsigned written = 0; written < kLongLogRecords; ++written)
            if (std::fputs(line.c_str(), file.get()) < 0)
                throw std::runtime_error("cannot write the long log " + paths.log);
    }
    const double logIntoLongFile = measure(plan, logRecord);
    removeLogs();

    std::printf("  record: %zu bytes (%s), %u records per sample, median of %u samples\n", line.size() - 1,
                bytesMatch ? "one line, same size in both files" : "FILES DIFFER", plan.operations, plan.samples);
    std::printf("  Log, logging on                         %8.1f us\n", microseconds(timed.first));
    std::printf("  bare _fsopen/fputs/fflush/fclose        %8.1f us\n", microseconds(timed.second));
    std::printf("  ratio                                   %8.2f     goal <= %.2f: %s\n", timed.ratio(), kLogGoal,
                verdict(timed.ratio() <= kLogGoal));
    std::printf(
        "  Log, settings answered from memory      %8.1f us  against bare (measured in turn) %.1f us:"
        " ratio %.2f\n",
        microseconds(withoutService.first), microseconds(withoutService.second), withoutService.ratio());
    std::printf("  Log into a log of %u+ records          %8.1f us\n", kLongLogRecords, microseconds(logIntoLongFile));
    std::printf("  settings reads per record (KestIniRead)  %7lu\n", readsPerRecord);
    std::printf("  one KestIniRead of the stand-in         %8.1f us\n", microseconds(settingsRead));
    std::printf("  Log, logging off (time + flag read)     %8.1f us\n", microseconds(logOff));
    std::printf("  Log - bare - %lu reads (formatting etc.)  %8.1f us\n", readsPerRecord,
                microseconds(timed.first - timed.second - readsPerRecord * settingsRead));
    return settingsRead;
}

// --- Log against the Log of an earlier build --------------------------------------------

// KestLog.dll of an earlier commit, put beside kestbench.exe by bench/log-before-after.sh.
constexpr char kBeforeLibrary[] = "KestLogBefore.dll";
constexpr double kBeforeGoal = 1.05;
// A name of the bench's own, so that timing the turn never stands in the way of a writer.
constexpr wchar_t kTimedTurnName[] = L"Local\\kestbench.TimedTurn";

std::string selfPath() {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) throw std::runtime_error("GetModuleFileNameA failed");
    return {self, length};
}

std::string besideSelf(const char* name) {
    const std::string path = selfPath();
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

void benchLogAgainstBefore(const Paths& paths) {
    std::printf("\n== Log against %s (an earlier build's, beside kestbench.exe) ==\n", kBeforeLibrary);
    const std::string library = besideSelf(kBeforeLibrary);
    if (GetFileAttributesA(library.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("  skipped: no %s (bench/log-before-after.sh builds it and puts it there)\n", kBeforeLibrary);
        return;
    }
    const UniqueModule before{LoadLibraryA(library.c_str())};
    const auto beforeLog =
        before ? reinterpret_cast<LogFunction>(reinterpret_cast<void*>(GetProcAddress(before.get(), "Log"))) : nullptr;
    if (beforeLog == nullptr) {
        std::printf("  skipped: %s gives no Log (error %lu)\n", library.c_str(), GetLastError());
        return;
    }

    setLogging(true);
    const auto removeLog = [&] { DeleteFileA(paths.log.c_str()); };
    const auto current = [] { Log(kSourceFile, kSourceLine, kMessage); };
    const auto earlier = [beforeLog] { beforeLog(kSourceFile, kSourceLine, kMessage); };
    // A Log that drops its records would be timed as fast: each must have written its line.
    removeLog();
    current();
    earlier();
    const unsigned written = countLines(paths.log);
    removeLog();

    const Plan plan{2, 21, 200};
    const Pair timed = measurePair(plan, current, earlier, removeLog);
    removeLog();
    // What every record now does besides its open: take the writers' turn and give it back (the
    // mutex itself is made once and kept).
    const UniqueHandle mutex{CreateMutexW(nullptr, FALSE, kTimedTurnName)};
    const double turn = measure(plan, [&mutex] {
        if (mutex && WaitForSingleObject(mutex.get(), 100) == WAIT_OBJECT_0) ReleaseMutex(mutex.get());
    });

    std::printf("  same record, same log path, %u records per sample, median of %u samples in turn (%s)\n",
                plan.operations, plan.samples, written == 2 ? "each wrote its line" : "A RECORD WAS NOT WRITTEN");
    std::printf("  Log, this build                         %8.1f us\n", microseconds(timed.first));
    std::printf("  Log, %-34s %8.1f us\n", kBeforeLibrary, microseconds(timed.second));
    std::printf("  ratio this build / before               %8.2f     goal <= %.2f: %s\n", timed.ratio(), kBeforeGoal,
                verdict(timed.ratio() <= kBeforeGoal));
    std::printf("  the writers' turn alone                 %8.1f us  (wait, ReleaseMutex)\n", microseconds(turn));
}

// --- Log from several writers at once ------------------------------------------------------

struct Shape {
    const char* name;
    unsigned processes;  // 0: the threads are this process's own
    unsigned threads;    // of each process
    unsigned records;    // of each thread
};

// 1600 records each: about a second under Wine.
constexpr Shape kShapes[] = {
    {"1 thread", 0, 1, 1600},
    {"2 threads", 0, 2, 800},
    {"8 threads", 0, 8, 200},
    {"2 processes x 4 threads", 2, 4, 200},
    {"4 processes x 4 threads", 4, 4, 100},
};

constexpr DWORD kWritersTimeoutMs = 300000;
constexpr char kWriterOption[] = "--writer";

struct WriterWork {
    HANDLE start;
    unsigned records;
};

DWORD WINAPI writeRecords(void* parameter) {
    // A copy: the work's owner may be gone if the run failed before the start.
    const WriterWork work = *static_cast<const WriterWork*>(parameter);
    if (WaitForSingleObject(work.start, INFINITE) != WAIT_OBJECT_0) return 1;
    for (unsigned done = 0; done < work.records; ++done) Log(kSourceFile, kSourceLine, kMessage);
    return 0;
}

// `count` threads of this process write `records` each once `start` is set; `ready` runs when
// they are made (it sets start, or tells the process that will). Returns when all have ended.
template <typename Ready>
void writeFromThreads(unsigned count, unsigned records, HANDLE start, Ready ready) {
    WriterWork work{start, records};
    std::vector<UniqueHandle> threads;
    std::vector<HANDLE> handles;
    for (unsigned made = 0; made < count; ++made) {
        threads.emplace_back(CreateThread(nullptr, 0, writeRecords, &work, 0, nullptr));
        if (!threads.back()) throw std::runtime_error("CreateThread failed");
        handles.push_back(threads.back().get());
    }
    ready();
    if (WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, kWritersTimeoutMs) >=
        WAIT_OBJECT_0 + handles.size())
        throw std::runtime_error("the writer threads did not end");
}

// kestbench --writer <threads> <records> <name>: one writer process of a shape. It counts itself
// ready on the semaphore <name>.ready and writes once the event <name>.start is set.
int writerProcess(const char* threadsText, const char* recordsText, const std::string& name) {
    const auto threads = static_cast<unsigned>(std::strtoul(threadsText, nullptr, 10));
    const auto records = static_cast<unsigned>(std::strtoul(recordsText, nullptr, 10));
    const UniqueHandle start{OpenEventA(SYNCHRONIZE, FALSE, (name + ".start").c_str())};
    const UniqueHandle ready{OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, (name + ".ready").c_str())};
    if (!start || !ready || threads == 0) return 3;
    writeFromThreads(threads, records, start.get(), [&] { ReleaseSemaphore(ready.get(), 1, nullptr); });
    return 0;
}

double secondsSince(Clock::time_point began) { return std::chrono::duration<double>(Clock::now() - began).count(); }

// Seconds from the start to the last record.
double writeFromThisProcess(const Shape& shape) {
    const UniqueHandle start{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    if (!start) throw std::runtime_error("CreateEventA failed");
    Clock::time_point began;
    writeFromThreads(shape.threads, shape.records, start.get(), [&] {
        began = Clock::now();
        SetEvent(start.get());
    });
    return secondsSince(began);
}

// Seconds from the start to the last record; the processes' own start (Wine's, some tenths of a
// second each) is left out.
double writeFromProcesses(const Shape& shape, unsigned shapeIndex) {
    const std::string name =
        "Local\\kestbench." + std::to_string(GetCurrentProcessId()) + ".writers" + std::to_string(shapeIndex);
    const UniqueHandle start{CreateEventA(nullptr, TRUE, FALSE, (name + ".start").c_str())};
    const UniqueHandle ready{
        CreateSemaphoreA(nullptr, 0, static_cast<LONG>(shape.processes), (name + ".ready").c_str())};
    if (!start || !ready) throw std::runtime_error("cannot make the writers' start event and semaphore");
    const std::string command = "\"" + selfPath() + "\" " + kWriterOption + " " + std::to_string(shape.threads) + " " +
                                std::to_string(shape.records) + " " + name;
    std::vector<UniqueHandle> processes;
    // The semaphore first: the wait answers the lowest index signalled, so a process that ended
    // stops the count only once every ready process has been counted.
    std::vector<HANDLE> waitable{ready.get()};
    for (unsigned started = 0; started < shape.processes; ++started) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::string line = command;
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            throw std::runtime_error("cannot start a writer process: error " + std::to_string(GetLastError()));
        CloseHandle(process.hThread);
        processes.emplace_back(process.hProcess);
        waitable.push_back(process.hProcess);
    }
    for (unsigned counted = 0; counted < shape.processes; ++counted)
        if (WaitForMultipleObjects(static_cast<DWORD>(waitable.size()), waitable.data(), FALSE, kWritersTimeoutMs) !=
            WAIT_OBJECT_0)
            throw std::runtime_error("a writer process ended or hung before it was ready");
    const Clock::time_point began = Clock::now();
    SetEvent(start.get());
    if (WaitForMultipleObjects(static_cast<DWORD>(waitable.size() - 1), waitable.data() + 1, TRUE, kWritersTimeoutMs) >=
        WAIT_OBJECT_0 + waitable.size() - 1)
        throw std::runtime_error("the writer processes did not end");
    const double seconds = secondsSince(began);
    for (const UniqueHandle& process : processes) {
        DWORD exitCode = 1;
        if (!GetExitCodeProcess(process.get(), &exitCode) || exitCode != 0)
            throw std::runtime_error("a writer process failed: exit code " + std::to_string(exitCode));
    }
    return seconds;
}

// Someone following the log, as a tail does: the file held open for reading, sharing reading and
// writing, from before the first record to after the last, and what is new read every 10 ms.
class Viewer {
public:
    explicit Viewer(const std::string& path)
        : file_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)),
          stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        if (!file_ || !stop_) throw std::runtime_error("the viewer cannot open " + path);
        thread_.reset(CreateThread(nullptr, 0, follow, this, 0, nullptr));
        if (!thread_) throw std::runtime_error("CreateThread failed");
    }
    ~Viewer() {
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
    }
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;
    Viewer(Viewer&&) = delete;
    Viewer& operator=(Viewer&&) = delete;

private:
    static DWORD WINAPI follow(void* parameter) {
        const Viewer& viewer = *static_cast<const Viewer*>(parameter);
        char buffer[1 << 14];
        do {
            DWORD got = 0;
            // Read to the end and let go: only the writers are measured.
            while (ReadFile(viewer.file_.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
            }
        } while (WaitForSingleObject(viewer.stop_.get(), 10) == WAIT_TIMEOUT);
        return 0;
    }

    UniqueFileHandle file_;
    UniqueHandle stop_;
    UniqueHandle thread_;
};

void benchContention(const Paths& paths) {
    std::printf("\n== Log from several writers at once, a viewer following the log throughout ==\n");
    std::printf("  %-26s %8s %8s %6s %8s %10s\n", "writers", "asked", "in file", "lost", "seconds", "records/s");
    setLogging(true);
    for (unsigned index = 0; index < std::size(kShapes); ++index) {
        const Shape& shape = kShapes[index];
        // The log is there before the viewer opens it, as when someone follows a host's log.
        {
            const UniqueFileHandle created{CreateFileA(paths.log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr)};
            if (!created) throw std::runtime_error("cannot make " + paths.log);
        }
        double seconds = 0.0;
        {
            const Viewer viewer{paths.log};
            seconds = shape.processes == 0 ? writeFromThisProcess(shape) : writeFromProcesses(shape, index);
        }
        const unsigned asked = std::max(shape.processes, 1u) * shape.threads * shape.records;
        const unsigned inFile = countLines(paths.log);
        std::printf("  %-26s %8u %8u %6d %8.2f %10.0f\n", shape.name, asked, inFile,
                    static_cast<int>(asked) - static_cast<int>(inFile), seconds, inFile / seconds);
    }
    DeleteFileA(paths.log.c_str());
}

// --- 2./3. createMyCertList against a plain CryptoAPI loop --------------------------------

struct HeapText {
    static char* allocate(std::size_t size) {
        return static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    }
};

char* plainNameText(CERT_NAME_BLOB& name) {
    const DWORD size = kest::mycert::nameTextSize(name);
    char* text = HeapText::allocate(size);
    kest::mycert::writeNameText(name, text, size);
    return text;
}

char* plainSerialHex(const CRYPT_INTEGER_BLOB& serial) {
    char* text = HeapText::allocate(kest::mycert::serialTextSize(serial));
    kest::mycert::writeSerialText(serial, text);
    return text;
}

void plainDate(const FILETIME& time, char (&text)[20]) {
    SYSTEMTIME calendar;
    if (!FileTimeToSystemTime(&time, &calendar)) return;
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", calendar.wYear, calendar.wMonth, calendar.wDay,
                  calendar.wHour, calendar.wMinute, calendar.wSecond);
}

// The platform work of createMyCertList and deleteMyCertList, without any trace.
unsigned plainListAndRelease() {
    const UniqueCertStore store{CertOpenSystemStoreA(0, "MY")};
    if (!store) return 0;
    MyCert* head = nullptr;
    MyCert** tail = &head;
    unsigned listed = 0;
    UniqueCertContext context;
    while (context.enumerate(store.get())) {
        if (!privateKeyReachable(context.get())) continue;
        auto* record = reinterpret_cast<MyCert*>(HeapText::allocate(sizeof(MyCert)));
        record->certContext = CertDuplicateCertificateContext(context.get());
        CERT_INFO& info = *record->certContext->pCertInfo;
        record->subject = plainNameText(info.Subject);
        record->issuer = plainNameText(info.Issuer);
        record->serialHex = plainSerialHex(info.SerialNumber);
        plainDate(info.NotBefore, record->notBefore);
        plainDate(info.NotAfter, record->notAfter);
        *tail = record;
        tail = &record->next;
        ++listed;
    }
    while (head != nullptr) {
        MyCert* next = head->next;
        for (char* text : {head->subject, head->issuer, head->serialHex}) HeapFree(GetProcessHeap(), 0, text);
        CertFreeCertificateContext(head->certContext);
        HeapFree(GetProcessHeap(), 0, head);
        head = next;
    }
    return listed;
}

MyCert* libraryList() {
    MyCert* head = nullptr;
    if (createMyCertList(&head) != KEST_OK) throw std::runtime_error("createMyCertList failed");
    return head;
}

void libraryListAndRelease() { deleteMyCertList(libraryList()); }

struct ListFigures {
    unsigned size;
    Pair libraryAgainstPlain;         // ns per call
    Pair traceDiscardedAgainstPlain;  // ns per call, measured in turn as well
    unsigned long createRecords;      // records of one createMyCertList
    unsigned long deleteRecords;      // records of one deleteMyCertList
    unsigned long settingsReads;      // of one create and delete with logging off
};

ListFigures benchListOfSize(unsigned size) {
    setLogging(false);
    const double filling = fillPersonalStore(size);
    MyCert* check = libraryList();
    const unsigned listed = countMyCertList(check);
    deleteMyCertList(check);
    if (listed != size || plainListAndRelease() != size)
        throw std::runtime_error("the lists do not hold every certificate of the store");

    const Plan plan{1, size <= 50 ? 9u : 5u, 1};
    ListFigures figures{};
    figures.size = size;
    figures.libraryAgainstPlain = measurePair(plan, libraryListAndRelease, plainListAndRelease);
    {
        const TraceDiscarded discarded;
        figures.traceDiscardedAgainstPlain = measurePair(plan, libraryListAndRelease, plainListAndRelease);
    }
    {
        const CallCount count;
        MyCert* head = libraryList();
        figures.createRecords = count.records();
        deleteMyCertList(head);
        figures.deleteRecords = count.records() - figures.createRecords;
        figures.settingsReads = count.settingsReads();
    }
    std::printf("  (store of %u filled in %.1f s)\n", size, filling);
    return figures;
}

void benchLists(const Paths& paths, double settingsRead) {
    std::printf("\n== createMyCertList + deleteMyCertList, logging off, against a plain CryptoAPI loop ==\n");
    ListFigures figures[std::size(kListSizes)];
    for (std::size_t index = 0; index < std::size(kListSizes); ++index)
        figures[index] = benchListOfSize(kListSizes[index]);

    std::printf("  %5s %12s %12s %7s %14s %14s %16s\n", "certs", "library ms", "plain ms", "ratio", "library us/c",
                "plain us/c", "no-trace us/c");
    for (const ListFigures& row : figures) {
        const Pair& pair = row.libraryAgainstPlain;
        std::printf("  %5u %12.1f %12.1f %7.2f %14.1f %14.1f %16.1f\n", row.size, milliseconds(pair.first),
                    milliseconds(pair.second), pair.ratio(), microseconds(pair.first / row.size),
                    microseconds(pair.second / row.size),
                    microseconds(row.traceDiscardedAgainstPlain.first / row.size));
    }
    const ListFigures& smallest = figures[0];
    const ListFigures& largest = figures[std::size(kListSizes) - 1];
    double worstRatio = 0.0;
    for (const ListFigures& row : figures) worstRatio = std::max(worstRatio, row.libraryAgainstPlain.ratio());
    const double flatness =
        (largest.libraryAgainstPlain.first / largest.size) / (smallest.libraryAgainstPlain.first / smallest.size);
    // Where the difference goes: the library without its records costs what the plain loop
    // does, and each record still reads the logging flag.
    std::printf("  %5s %16s %22s\n", "certs", "no-trace/plain", "no-trace + reads, us/c");
    for (const ListFigures& row : figures)
        std::printf("  %5u %16.2f %22.1f\n", row.size, row.traceDiscardedAgainstPlain.ratio(),
                    microseconds((row.traceDiscardedAgainstPlain.first + row.settingsReads * settingsRead) / row.size));
    std::printf("  worst ratio library/plain               %8.2f     goal <= %.2f: %s\n", worstRatio, kListGoal,
                verdict(worstRatio <= kListGoal));
    std::printf("  per certificate, %u against %u          %8.2f     goal <= %.2f: %s\n", largest.size, smallest.size,
                flatness, kFlatnessGoal, verdict(flatness <= kFlatnessGoal));

    const unsigned span = largest.size - smallest.size;
    const double createPerCert = double(largest.createRecords - smallest.createRecords) / span;
    const double deletePerCert = double(largest.deleteRecords - smallest.deleteRecords) / span;
    const double readsPerCert = double(largest.settingsReads - smallest.settingsReads) / span;
    std::printf(
        "  trace records per certificate: createMyCertList %.1f, deleteMyCertList %.1f "
        "(fixed: %.0f and %.0f per call)\n",
        createPerCert, deletePerCert, smallest.createRecords - createPerCert * smallest.size,
        smallest.deleteRecords - deletePerCert * smallest.size);
    std::printf("  settings reads per certificate with logging off: %.1f (one LogFlag per record)\n", readsPerCert);

    std::printf("\n== the same with logging on ==\n");
    std::printf("  %5s %12s %10s %12s %14s %18s\n", "certs", "library ms", "records", "records/c", "us/record",
                "us/record (added)");
    setLogging(true);
    for (const ListFigures& row : figures) {
        fillPersonalStore(row.size);
        const Plan plan{1, 3, 1};
        const double timed = measure(plan, libraryListAndRelease, [&] { DeleteFileA(paths.log.c_str()); });
        DeleteFileA(paths.log.c_str());
        deleteMyCertList(libraryList());
        const unsigned records = countLines(paths.log);
        DeleteFileA(paths.log.c_str());
        std::printf("  %5u %12.1f %10u %12.1f %14.1f %18.1f\n", row.size, milliseconds(timed), records,
                    double(records) / row.size, microseconds(timed / records),
                    microseconds((timed - row.libraryAgainstPlain.first) / records));
    }
    setLogging(false);
}

// --- 4. readIniSignerCertCandidate --------------------------------------------------------

void benchCandidates(const Paths& paths, bool longRun) {
    std::printf("\n== readIniSignerCertCandidate: every certificate of the list stored as a candidate ==\n");
    std::printf("  %5s %14s %12s %14s %16s %14s\n", "ids", "off ms", "records", "records/ids^2", "on ms",
                "on us/record");
    for (const unsigned size : kCandidateSizes) {
        setLogging(false);
        fillPersonalStore(size);
        DeleteFileA(paths.settings.c_str());
        MyCert* head = libraryList();
        for (MyCert* record = head; record != nullptr; record = record->next) record->candidate = 1;
        if (writeIniSignerCertCandidate(paths.settings.c_str(), head) != KEST_OK)
            throw std::runtime_error("writeIniSignerCertCandidate failed");
        int matched = 0;
        const auto readCandidates = [&] {
            if (readIniSignerCertCandidate(paths.settings.c_str(), head, &matched) != KEST_OK)
                throw std::runtime_error("readIniSignerCertCandidate failed");
        };
        // The largest takes tens of seconds a call: one call, warmed by the smaller sizes.
        const bool large = size > 100;
        const Plan plan = large ? Plan{0, 1, 1} : Plan{1, 5, 1};
        const double off = measure(plan, readCandidates);
        if (matched != static_cast<int>(size)) throw std::runtime_error("not every stored id was matched");

        unsigned long records = 0;
        {
            const CallCount count;
            readCandidates();
            records = count.records();
        }
        std::printf("  %5u %14.1f %12lu %14.2f", size, milliseconds(off), records,
                    double(records) / (double(size) * size));
        if (large && !longRun) {
            std::printf(" %16s\n", "(--long)");
        } else {
            setLogging(true);
            DeleteFileA(paths.log.c_str());
            const double on = measure(Plan{0, 1, 1}, readCandidates);
            const unsigned written = countLines(paths.log);
            DeleteFileA(paths.log.c_str());
            setLogging(false);
            std::printf(" %16.1f %14.1f%s\n", milliseconds(on), microseconds(on / written),
                        written == records ? "" : "  (log line count differs)");
        }
        deleteMyCertList(head);
    }
}

void printPlatform() {
    using WineVersion = const char*(__cdecl*)();
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto wineVersion =
        ntdll != nullptr
            ? reinterpret_cast<WineVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
            : nullptr;
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    std::printf("kestbench: %s, %lu logical processors, ANSI code page %u\n",
                wineVersion != nullptr ? (std::string("Wine ") + wineVersion()).c_str() : "Windows",
                system.dwNumberOfProcessors, GetACP());
}

}  // namespace
}  // namespace kest::bench

// --long: also time the largest candidate read with logging on (some minutes under Wine).
// --log: the figures of Log alone.
// --writer <threads> <records> <name>: one of the writer processes it starts itself.
int main(int argc, char** argv) {
    using namespace kest::bench;
    if (argc == 5 && std::strcmp(argv[1], kWriterOption) == 0) {
        try {
            return writerProcess(argv[2], argv[3], argv[4]);
        } catch (const std::exception& error) {
            (void)std::fprintf(stderr, "kestbench writer: %s\n", error.what());
            return 1;
        }
    }
    bool longRun = false;
    bool logOnly = false;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--long") == 0) {
            longRun = true;
        } else if (std::strcmp(argv[index], "--log") == 0) {
            logOnly = true;
        } else {
            (void)std::fprintf(stderr, "usage: kestbench [--long] [--log]\n");
            return 2;
        }
    }
    try {
        // Unbuffered: each figure shows as soon as it is measured.
        (void)std::setvbuf(stdout, nullptr, _IONBF, 0);
        printPlatform();
        const Paths paths = prepareInstallation();
        if (logOnly) {
            static_cast<void>(benchLog(paths));
            benchLogAgainstBefore(paths);
            benchContention(paths);
            return 0;
        }
        const CacheFill cache = ensureCachedCertificates(kLargestStore);
        if (cache.made > 0)
            std::printf("made %u keyed certificates in %.1f s (%.0f ms each); kept for later runs\n", cache.made,
                        cache.seconds, 1000.0 * cache.seconds / cache.made);
        const double settingsRead = benchLog(paths);
        benchLogAgainstBefore(paths);
        benchContention(paths);
        benchLists(paths, settingsRead);
        benchCandidates(paths, longRun);
        return 0;
    } catch (const std::exception& error) {
        (void)std::fprintf(stderr, "kestbench: %s\n", error.what());
        return 1;
    }
}
