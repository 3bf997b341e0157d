// The run gate: what each refusal prints, what it leaves untouched, the order
// of the calls, and that every path ends with one key-press wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "console/dialogue.h"
#include "console/entry_point.h"
#include "platform/dll_search_path.h"
#include "memory_platform.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

std::size_t indexOf(const MemoryPlatform& platform, const std::string& call) {
    const auto it = std::find(platform.calls.begin(), platform.calls.end(), call);
    return static_cast<std::size_t>(it - platform.calls.begin());
}

TEST(EntryPoint, UnsupportedSystemsGetOnlyTheOsLine) {
    struct Case {
        const char* proves;
        std::uint32_t major, minor, build;
        std::uint8_t productType;
        bool is64Bit;
    };
    const Case cases[] = {
        {"XP", 5, 1, 2600, 1, false},
        {"8.1", 6, 3, 9600, 1, false},
        {"8", 6, 2, 9200, 1, true},
        {"Vista", 6, 0, 6002, 1, false},
        {"server 2019", 10, 0, 17763, 3, true},
        {"2008 R2", 6, 1, 7601, 3, true},
        {"not identified", 11, 0, 0, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        testing::scriptWorkstation(platform, c.major, c.minor, c.build, c.is64Bit);
        platform.version.productType = c.productType;
        EXPECT_EQ(runEntryPoint(platform), 1);
        EXPECT_EQ(platform.output,
                  u"ERROR: Current OS is not supported, please refer user guide/admin guide.\r\n");
        EXPECT_FALSE(platform.called("OpenMutexW:2031617"));
        EXPECT_FALSE(platform.called("CreateMutexW:owned"));
        EXPECT_EQ(platform.keyWaits, 1);
        EXPECT_EQ(platform.calls.back(), "waitForKeyPress");
    }
}

TEST(EntryPoint, AcceptedSystemsReachTheDialogue) {
    struct Case {
        const char* proves;
        std::uint32_t major, minor, build;
        bool is64Bit;
    };
    const Case cases[] = {
        {"7", 6, 1, 7601, false},   {"7 64", 6, 1, 7601, true},   {"10", 10, 0, 18362, false},
        {"10 64", 10, 0, 19045, true}, {"11", 10, 0, 22000, false}, {"11 64", 10, 0, 22631, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        testing::scriptWorkstation(platform, c.major, c.minor, c.build, c.is64Bit);
        EXPECT_EQ(runEntryPoint(platform), 1);  // no input: the dialogue refuses it
        EXPECT_EQ(platform.output, bannerText() + u"Please provide allowlist title: " +
                                       u"ERROR: Inputs are not provided appropriately.\r\n");
    }
}

TEST(EntryPoint, HardensTheDllSearchPathFirstWhenItCan) {
    MemoryPlatform platform;
    runEntryPoint(platform);
    EXPECT_EQ(platform.dllDirectory, u"");
    EXPECT_LT(indexOf(platform, "SetDllDirectoryW"), indexOf(platform, "RtlGetVersion"));

    MemoryPlatform old;
    old.missingFunctions.insert("SetDllDirectoryW");
    runEntryPoint(old);
    EXPECT_FALSE(old.called("SetDllDirectoryW"));
    EXPECT_EQ(old.dllDirectory, u"<unset>");
}

TEST(EntryPoint, NarrowsTheDllSearchToTheSystemDirectoryBeforeAnythingElse) {
    struct Case {
        const char* proves;
        std::vector<std::string> missing;
        std::vector<std::string> firstCalls;
    };
    const Case cases[] = {
        {"Windows 8 and later, and 7 with the loader update", {},
         {"GetModuleHandleW", "GetProcAddress:SetDefaultDllDirectories", "SetDefaultDllDirectories",
          "GetProcAddress:SetDllDirectoryW", "SetDllDirectoryW", "GetModuleHandleW"}},
        {"Windows 7 without the update", {"SetDefaultDllDirectories"},
         {"GetModuleHandleW", "GetProcAddress:SetDefaultDllDirectories",
          "GetProcAddress:SetDllDirectoryW", "SetDllDirectoryW", "GetModuleHandleW"}},
        {"neither function", {"SetDefaultDllDirectories", "SetDllDirectoryW"},
         {"GetModuleHandleW", "GetProcAddress:SetDefaultDllDirectories",
          "GetProcAddress:SetDllDirectoryW", "GetModuleHandleW"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        platform.missingFunctions.insert(c.missing.begin(), c.missing.end());
        runEntryPoint(platform);
        ASSERT_GE(platform.calls.size(), c.firstCalls.size());
        EXPECT_EQ(std::vector<std::string>(platform.calls.begin(),
                                           platform.calls.begin() + c.firstCalls.size()),
                  c.firstCalls);
        const bool hasDefault = c.missing.empty();
        EXPECT_EQ(platform.defaultDllDirectories.has_value(), hasDefault);
        if (hasDefault) {
            EXPECT_EQ(*platform.defaultDllDirectories, 0x800u);  // LOAD_LIBRARY_SEARCH_SYSTEM32
        }
        // The run goes on either way: no input, so the dialogue refuses it.
        EXPECT_NE(platform.output.find(u"ERROR: Inputs are not provided appropriately."),
                  std::u16string::npos);
    }
}

TEST(EntryPoint, WithoutKernel32NoSearchPathCallIsMade) {
    MemoryPlatform platform;
    platform.modules.erase(u"kernel32.dll");
    hardenDllSearchPath(platform);
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"GetModuleHandleW"}));
    EXPECT_FALSE(platform.defaultDllDirectories.has_value());
    EXPECT_EQ(platform.dllDirectory, u"<unset>");
}

TEST(EntryPoint, ASecondInstanceIsRefusedWithoutTouchingTheMutex) {
    MemoryPlatform platform;
    platform.existingMutexes.insert(kInstanceMutexName);
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_EQ(platform.output, u"ERROR: Instance is already running.\r\n");
    EXPECT_TRUE(platform.called("OpenMutexW:2031617"));  // MUTEX_ALL_ACCESS
    EXPECT_FALSE(platform.called("CreateMutexW:owned"));
    EXPECT_TRUE(platform.openHandles.empty());  // the opened handle was closed
    EXPECT_EQ(platform.keyWaits, 1);
}

TEST(EntryPoint, AnInstanceThatLosesTheCreateRaceGivesWay) {
    MemoryPlatform platform;
    platform.createMutexRaced = true;
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_EQ(platform.output, u"ERROR: Instance is already running.\r\n");
    EXPECT_FALSE(platform.called("OpenProcessToken"));
    EXPECT_TRUE(platform.openHandles.empty());
    EXPECT_EQ(platform.keyWaits, 1);
}

TEST(EntryPoint, FailedOpenOrCreateDoesNotStopTheRun) {
    MemoryPlatform accessDenied;
    accessDenied.existingMutexes.insert(kInstanceMutexName);
    accessDenied.openMutexFails = true;
    accessDenied.createMutexFails = true;
    EXPECT_EQ(runEntryPoint(accessDenied), 1);
    EXPECT_NE(accessDenied.output.find(u"Please provide allowlist title: "), std::u16string::npos);
    EXPECT_TRUE(accessDenied.called("OpenProcessToken"));
}

TEST(EntryPoint, PrivilegeFailureClosesTheMutexAndSaysSo) {
    for (bool tokenOpens : {false, true}) {
        SCOPED_TRACE(tokenOpens ? "adjust fails" : "token does not open");
        MemoryPlatform platform;
        platform.openTokenSucceeds = tokenOpens;
        platform.adjustPrivilegesSucceeds = false;
        EXPECT_EQ(runEntryPoint(platform), 1);
        EXPECT_EQ(platform.output, u"ERROR: Adjusting previlege proess token is failed.\r\n");
        EXPECT_TRUE(platform.openHandles.empty());
        EXPECT_LT(indexOf(platform, "CloseHandle"), indexOf(platform, "waitForKeyPress"));
    }
}

TEST(EntryPoint, EnablesTheBackupPrivilegeWithTheDocumentedArguments) {
    MemoryPlatform platform;
    EXPECT_TRUE(enableBackupPrivilege(platform));
    EXPECT_EQ(platform.tokenAccess, 0x28u);
    EXPECT_EQ(platform.adjustedLuid.lowPart, 17u);
    EXPECT_EQ(platform.adjustedAttributes, 2u);
    EXPECT_EQ(platform.adjustedBufferLength, 16u);
    EXPECT_TRUE(platform.called("AdjustTokenPrivileges:one"));
    EXPECT_TRUE(platform.openHandles.empty());
}

TEST(EntryPoint, ADriverFailureShowsOnlyItsLineAndStillWaits) {
    MemoryPlatform platform;
    platform.typeLine(std::string(51, 'x'));
    platform.typeLine("description");
    EXPECT_EQ(runEntryPoint(platform), 1);
    const std::u16string tail = u"ERROR: Provided Title length exceeds 50 characters.\r\n";
    ASSERT_GE(platform.output.size(), tail.size());
    EXPECT_EQ(platform.output.substr(platform.output.size() - tail.size()), tail);
    EXPECT_EQ(platform.output.find(u"Press any key"), std::u16string::npos);
    EXPECT_EQ(platform.output.find(u"Please wait"), std::u16string::npos);
    EXPECT_EQ(platform.keyWaits, 1);
}

TEST(EntryPoint, AnExceptionOutOfTheDriverGivesTheDefaultLineClosesTheMutexAndWaits) {
    // Where the dialogue, the configuration or the summary may run out of memory.
    const std::u16string throwAt[] = {u"Please provide allowlist description: ", u"Please wait",
                                      u"ERROR: Failed to read baseline configuration."};
    for (const auto& text : throwAt) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        MemoryPlatform platform;
        platform.typeLine("Title");
        platform.typeLine("Description");
        platform.outputHook = [&](const std::u16string& written) {
            if (written.find(text) != std::u16string::npos) throw std::bad_alloc();
        };
        EXPECT_EQ(runEntryPoint(platform), 1);
        const std::u16string tail =
            u"Something went wrong. Please contact to our support team.\r\nCause: there is not enough memory\r\n";
        ASSERT_GE(platform.output.size(), tail.size());
        EXPECT_EQ(platform.output.substr(platform.output.size() - tail.size()), tail);
        EXPECT_TRUE(platform.openHandles.empty());  // the mutex and the token
        EXPECT_EQ(platform.keyWaits, 1);
        EXPECT_EQ(platform.calls.back(), "waitForKeyPress");
        EXPECT_EQ(platform.output.find(u"Press any key"), std::u16string::npos);
    }
}

TEST(EntryPoint, AnInterruptionOutsideTheWalkEndsWithOne) {
    // What Ctrl+C would end the process with at each point: 1 from before the
    // first prompt to the final wait of every failure.
    struct Case {
        const char* proves;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"no input", {}},
        {"a refused title", {std::string(51, 'x'), "d"}},
        {"no configuration", {"Title", "Description"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        for (const auto& line : c.lines) platform.typeLine(line);
        EXPECT_EQ(runEntryPoint(platform), 1);
        ASSERT_LT(indexOf(platform, "endOnConsoleCtrl:1"), indexOf(platform, "readInputLine"));
        EXPECT_FALSE(platform.called("endOnConsoleCtrl:0"));
        EXPECT_EQ(platform.calls[platform.calls.size() - 2], "endOnConsoleCtrl:1");
    }
}

TEST(EntryPoint, MutexIsCreatedOwnedAndClosedBeforeTheKeyWait) {
    MemoryPlatform platform;
    platform.typeLine("Title");
    platform.typeLine("Description");
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_TRUE(platform.called("CreateMutexW:owned"));
    EXPECT_TRUE(platform.openHandles.empty());
    const std::size_t lastClose =
        platform.calls.size() - 1 -
        static_cast<std::size_t>(std::find(platform.calls.rbegin(), platform.calls.rend(),
                                           "CloseHandle") - platform.calls.rbegin());
    EXPECT_LT(lastClose, indexOf(platform, "waitForKeyPress"));
    EXPECT_LT(indexOf(platform, "OpenMutexW:2031617"), indexOf(platform, "CreateMutexW:owned"));
    EXPECT_LT(indexOf(platform, "CreateMutexW:owned"), indexOf(platform, "OpenProcessToken"));
}

TEST(RunDriver, WithoutAReadableConfigurationTheRunEndsWith14013) {
    MemoryPlatform platform;
    platform.typeLine("Title");
    platform.typeLine("Description");
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_EQ(platform.output,
              bannerText() +
                  u"Please provide allowlist title: Please provide allowlist description: \r\n"
                  u"Please wait while the allowlist is being created...\r\n\r\n"
                  u"ERROR: Failed to read baseline configuration.\r\n"
                  u"Cause: baselineconf.dat was not found in C:\\Deploy (Windows error 2: The system cannot find "
                  u"the file specified.)\r\n");
}

}  // namespace
}  // namespace baseline
