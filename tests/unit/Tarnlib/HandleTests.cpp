#include "WrapperTestSupport.h"
#include "ScratchDirectory.h"

#include "NoCrtLib/ErrorText.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/Files.h"
#include "Tarnlib/Handles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace Tarnlib;

namespace {

// A fresh directory under the temporary directory, removed with its files afterwards.
class FileWrappers : public testing::Test {
protected:
    void SetUp() override { FaultSeam::Reset(); }
    void TearDown() override { FaultSeam::Reset(); }

    std::wstring Path(const std::wstring& name) const { return m_directory / name; }

    void WriteFile(const std::wstring& name, const std::string& content) const
    {
        std::ofstream(Path(name).c_str(), std::ios::binary) << content;
    }

    std::string ReadFile(const std::wstring& name) const
    {
        std::ifstream in(Path(name).c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool Exists(const std::wstring& name) const
    {
        return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    ScratchDirectory m_directory;
};

}  // namespace

TEST_F(FileWrappers, CopyNeverOverwritesItsDestination)
{
    WriteFile(L"source", "new content");
    WriteFile(L"existing", "old content");

    CFileCopy<1> copy(Path(L"source").c_str(), Path(L"copy").c_str());
    EXPECT_TRUE(copy.Succeeded());
    EXPECT_EQ(ReadFile(L"copy"), "new content");

    try {
        CFileCopy<1> onto(Path(L"source").c_str(), Path(L"existing").c_str());
        FAIL() << "copying onto an existing file did not throw";
    } catch (const FileException& e) {
        EXPECT_EQ(e.Error(), DWORD(ERROR_FILE_EXISTS));
        EXPECT_EQ(W(e.Function()), L"CopyFileW()");
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"CopyFileW()", 80));
    }
    EXPECT_EQ(ReadFile(L"existing"), "old content");

    CFileCopy<0> missing(Path(L"no such file").c_str(), Path(L"other").c_str());
    EXPECT_EQ(missing.Error(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(W(missing.Function()), L"CopyFileW()");
    EXPECT_FALSE(Exists(L"other"));
}

TEST_F(FileWrappers, MoveReplacesAnExistingDestination)
{
    WriteFile(L"source", "moved");
    WriteFile(L"target", "replaced");
    // Paths given as views without a terminator.
    std::wstring from = Path(L"source") + L"?", to = Path(L"target") + L"?";
    CPathMove<1> move(wstrview(from.c_str(), from.size() - 1, false), wstrview(to.c_str(), to.size() - 1, false));
    EXPECT_TRUE(move.Succeeded());
    EXPECT_FALSE(Exists(L"source"));
    EXPECT_EQ(ReadFile(L"target"), "moved");

    try {
        CPathMove<1> missing(Path(L"source").c_str(), Path(L"target").c_str());
        FAIL() << "moving a missing file did not throw";
    } catch (const PathException& e) {
        EXPECT_EQ(e.Error(), DWORD(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"MoveFileExW()", 2));
    }
    EXPECT_EQ(ReadFile(L"target"), "moved");
}

TEST_F(FileWrappers, RemoveDeletesNowAndReportsAMissingFile)
{
    WriteFile(L"doomed", "x");
    CFileRemove<1> remove(Path(L"doomed").c_str());
    EXPECT_TRUE(remove.Succeeded());
    EXPECT_FALSE(Exists(L"doomed"));

    CFileRemove<0> again(Path(L"doomed").c_str());
    EXPECT_EQ(again.Error(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(W(again.Function()), L"DeleteFileW()");
    EXPECT_THROW(CFileRemove<1>(Path(L"doomed").c_str()), FileException);
}

TEST_F(FileWrappers, RemoveUsesOnlyTheFormAskedFor)
{
    struct Case {
        bool atReboot;
        const char* failing;
        const wchar_t* reported;
    };
    const std::vector<Case> cases = {
        {false, "DeleteFileW", L"DeleteFileW()"},
        {true, "MoveFileExW", L"MoveFileExW()"},
    };
    WriteFile(L"kept", "x");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        FaultSeam::Reset();
        FaultSeam::Arm(c.failing, 1, ERROR_ACCESS_DENIED);
        CFileRemove<0> remove(Path(L"kept").c_str(), c.atReboot);
        EXPECT_EQ(remove.Error(), DWORD(ERROR_ACCESS_DENIED));
        EXPECT_EQ(W(remove.Function()), c.reported);
        // No fallback to the other form: the file is still there.
        EXPECT_TRUE(Exists(L"kept"));
    }
}

TEST_F(FileWrappers, MakeAbsResolvesAgainstTheCurrentDirectory)
{
    struct CurrentDirectoryRestorer {
        wchar_t saved[MAX_PATH + 1] = {};
        CurrentDirectoryRestorer() { GetCurrentDirectoryW(MAX_PATH, saved); }
        ~CurrentDirectoryRestorer() { SetCurrentDirectoryW(saved); }
    } restorer;
    ASSERT_TRUE(SetCurrentDirectoryW(m_directory.Path().c_str()));
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring here = current;
    std::wstring parent = here.substr(0, here.rfind(L'\\'));
    std::wstring drive = here.substr(0, 2);

    struct Case {
        std::wstring path;
        std::wstring absolute;
    };
    const std::vector<Case> cases = {
        {L"file.txt", here + L"\\file.txt"},
        {L"sub\\file.txt", here + L"\\sub\\file.txt"},
        {L".\\a\\..\\b", here + L"\\b"},
        {L"..\\x", parent + L"\\x"},
        {L"\\rooted", drive + L"\\rooted"},
        {L"C:\\a\\.\\b\\..\\c", L"C:\\a\\c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        std::wstring storage = c.path + L"tail";
        wstring_nc absolute;
        CPathMakeAbs<0> make(wstrview(storage.c_str(), c.path.size(), false), absolute);
        EXPECT_TRUE(make.Succeeded());
        EXPECT_EQ(W(absolute.str()), c.absolute);
        EXPECT_EQ(absolute.length(), c.absolute.size());
    }
}

TEST_F(FileWrappers, MakeAbsRecordsAFailureOfEitherCall)
{
    for (unsigned nth : {1u, 2u}) {
        SCOPED_TRACE(nth);
        FaultSeam::Reset();
        FaultSeam::Arm("GetFullPathNameW", nth, ERROR_NOT_ENOUGH_MEMORY);
        wstring_nc absolute(L"unchanged"_v);
        CPathMakeAbs<0> make(L"relative"_v, absolute);
        EXPECT_TRUE(make.Failed());
        EXPECT_EQ(make.Error(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(W(make.FailureMessage()), WindowsFailure(L"GetFullPathNameW()", ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(W(absolute.str()), L"unchanged");
    }
}

// Named mutexes: names are unique to the test and the process.
class Mutexes : public testing::Test {
protected:
    void SetUp() override { FaultSeam::Reset(); }
    void TearDown() override { FaultSeam::Reset(); }
    std::wstring m_name = L"KvTarnlibTests-" + std::to_wstring(GetCurrentProcessId()) + L"-" + CurrentTestName();
};

TEST_F(Mutexes, SecondCreateOpensTheMutexWithoutOwningIt)
{
    // Another thread creates the mutex and keeps it until told to go.
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    int holderState = -1;
    bool holderOwned = false;
    bool releaseOk = false;
    std::thread holder([&] {
        CMutexCreate<1> mutex(m_name.c_str());
        holderState = mutex.State();
        holderOwned = mutex.Owned();
        SetEvent(created);
        WaitForSingleObject(release, INFINITE);
        CMutexRelease<0> done(mutex);
        releaseOk = done.Succeeded();
    });
    ASSERT_EQ(WaitForSingleObject(created, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(holderState, 1);
    EXPECT_TRUE(holderOwned);

    CMutexCreate<1> second(m_name.c_str());
    EXPECT_EQ(second.State(), CMutexCreate<1>::AlreadyExisted);
    EXPECT_FALSE(second.Owned());
    EXPECT_TRUE(second.IsValid());

    CWait<1> busy(second.Get(), 50);
    EXPECT_EQ(busy.Result(), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(busy.Succeeded());

    // Releasing a mutex this thread does not own is recorded, not thrown.
    CMutexRelease<0> notOwner(second);
    EXPECT_EQ(notOwner.Error(), DWORD(ERROR_NOT_OWNER));
    EXPECT_EQ(W(notOwner.Function()), L"ReleaseMutex()");

    SetEvent(release);
    holder.join();
    EXPECT_TRUE(releaseOk);
    CWait<1> acquired(second.Get(), 10000);
    EXPECT_EQ(acquired.Result(), DWORD(WAIT_OBJECT_0));
    EXPECT_TRUE(CMutexRelease<0>(second).Succeeded());
    CloseHandle(created);
    CloseHandle(release);
}

TEST_F(Mutexes, WaitReturnsAnAbandonedMutexAsAResult)
{
    CMutexCreate<1>* leaked = nullptr;
    std::thread holder([&] {
        leaked = new CMutexCreate<1>(m_name.c_str());  // exits still owning it
    });
    holder.join();
    ASSERT_TRUE(leaked && leaked->Owned());
    CWait<1> wait(leaked->Get(), 10000);
    EXPECT_EQ(wait.Result(), DWORD(WAIT_ABANDONED));
    EXPECT_TRUE(wait.Succeeded());
    CMutexRelease<0> release(*leaked);
    EXPECT_TRUE(release.Succeeded());
    delete leaked;
}

TEST_F(Mutexes, FailuresThrowTheirFamilyException)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, m_name.c_str());
    ASSERT_NE(event, nullptr);
    try {
        CMutexCreate<1> clash(m_name.c_str());
        ADD_FAILURE() << "a mutex with the name of an event was created";
    } catch (const MutexException& e) {
        EXPECT_EQ(e.Error(), DWORD(ERROR_INVALID_HANDLE));
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"CreateMutexW()", ERROR_INVALID_HANDLE));
    }
    CloseHandle(event);

    try {
        CWait<1> wait(nullptr, 0);
        ADD_FAILURE() << "waiting for no object did not throw";
    } catch (const WaitException& e) {
        EXPECT_EQ(e.Error(), DWORD(ERROR_INVALID_HANDLE));
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"WaitForSingleObjectEx()", ERROR_INVALID_HANDLE));
    }
}

TEST_F(Mutexes, LastCopyOfAHandleClosesIt)
{
    auto mutex = std::make_unique<CMutexCreate<1>>(m_name.c_str());
    const HANDLE handle = mutex->Get();
    ASSERT_TRUE(HandleIsOpen(handle));

    auto same = std::make_unique<CHandle<1>>(*mutex);
    auto recording = std::make_unique<CHandle<0>>(*mutex);
    auto assigned = std::make_unique<CHandle<1>>();
    EXPECT_FALSE(assigned->IsValid());
    *assigned = *same;
    *assigned = *assigned;
    EXPECT_EQ(same->Get(), handle);
    EXPECT_EQ(recording->Get(), handle);
    EXPECT_EQ(assigned->Get(), handle);

    mutex.reset();
    EXPECT_TRUE(HandleIsOpen(handle));
    same.reset();
    EXPECT_TRUE(HandleIsOpen(handle));
    recording.reset();
    EXPECT_TRUE(HandleIsOpen(handle));
    assigned.reset();
    EXPECT_FALSE(HandleIsOpen(handle));
}

TEST_F(Mutexes, AssigningOverTheLastCopyClosesTheOldHandle)
{
    auto first = std::make_unique<CMutexCreate<1>>((m_name + L"-1").c_str());
    CMutexCreate<1> second((m_name + L"-2").c_str());
    const HANDLE firstHandle = first->Get();
    CHandle<1> holder(*first);
    first.reset();
    ASSERT_TRUE(HandleIsOpen(firstHandle));

    holder = second;
    EXPECT_FALSE(HandleIsOpen(firstHandle));
    EXPECT_EQ(holder.Get(), second.Get());
    EXPECT_TRUE(HandleIsOpen(second.Get()));
}

TEST_F(Mutexes, CopiesReleasedOnManyThreadsCloseOnce)
{
    auto mutex = std::make_unique<CMutexCreate<1>>(m_name.c_str());
    const HANDLE handle = mutex->Get();
    std::vector<std::unique_ptr<CHandle<1>>> copies;
    for (int i = 0; i < 64; ++i)
        copies.push_back(std::make_unique<CHandle<1>>(*mutex));
    mutex.reset();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&copies, t] {
            for (int i = t; i < 64; i += 4)
                if (i != 63)
                    copies[i].reset();
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_TRUE(HandleIsOpen(handle));
    copies[63].reset();
    EXPECT_FALSE(HandleIsOpen(handle));
}
