#pragma once
// The stand-in publishing application installed in the test prefix: vtlpublish.exe copied to
// a place of the test's choosing, "ExePath" under HKEY_LOCAL_MACHINE naming it, and the record
// file it appends to. Everything is removed again at the end (the key from both registry views
// of a 64-bit system).

#include <windows.h>

#include <string>
#include <vector>

// What one start of vtlpublish recorded.
struct PublishRecord {
    std::wstring image;      // the file that ran
    DWORD process = 0;
    std::wstring command;    // its raw command line
    std::wstring directory;  // its current directory
};

inline constexpr const wchar_t* kPublisherKeyPath = L"Software\\CorvalineVTL\\VTL100";
inline constexpr const wchar_t* kPublisherVendorKey = L"Software\\CorvalineVTL";

class PublisherInstallation {
public:
    // exePath: where to put the copy of vtlpublish.exe (its folders are made), or empty to
    // install nothing and only keep the registry and the record file.
    explicit PublisherInstallation(std::wstring exePath);
    ~PublisherInstallation();
    PublisherInstallation(const PublisherInstallation&) = delete;
    PublisherInstallation& operator=(const PublisherInstallation&) = delete;

    // False (with a message) when the copy or the registry value could not be made.
    bool Ready() const { return ready_; }
    const std::wstring& ExePath() const { return exePath_; }
    const std::wstring& RecordFile() const { return recordFile_; }

    // Replaces "ExePath": a zero-terminated text, or raw data of any size and type; in this
    // program's registry view, or in the view given (KEY_WOW64_32KEY, KEY_WOW64_64KEY).
    bool SetExePath(const std::wstring& value, REGSAM view = 0);
    bool SetExePathData(const void* data, DWORD bytes, DWORD type, REGSAM view = 0);
    bool DeleteExePath(REGSAM view = 0);

    // Waits until the record file holds at least count records and the processes that wrote
    // them have ended; gives up after 30 s and returns what is there.
    std::vector<PublishRecord> WaitForRecords(size_t count) const;
    // The records there are now, without waiting.
    std::vector<PublishRecord> Records() const;

private:
    std::wstring exePath_;
    std::wstring recordFile_;
    std::vector<std::wstring> madeFolders_;
    bool ready_ = false;
};

// Handles of this process that refer to the given process or to one of its threads.
int HandlesToProcess(DWORD processId);
