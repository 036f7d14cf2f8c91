// A section of shared memory held by a test as another process of the log would hold it: the handle, and
// a view of its first bytes. Both are given back however the test ends, a failed assertion included.
#pragma once

#include "platform/WinFileMapping.h"
#include "platform/WinHandle.h"

#include <string>

class CMappedSection
{
public:
    // Takes over the handle (null: none) and maps nBytes of it; 0 bytes keeps the handle alone.
    CMappedSection(HANDLE hSection, SIZE_T nBytes, DWORD dwAccess = FILE_MAP_ALL_ACCESS)
        : m_hSection(hSection)
    {
        if (m_hSection != nullptr && nBytes != 0)
            m_pView = static_cast<char*>(MapViewOfFile(m_hSection, dwAccess, 0, 0, nBytes));
    }
    // The named section, opened as it stands.
    static CMappedSection Open(const std::string& sName, SIZE_T nBytes, DWORD dwAccess = FILE_MAP_ALL_ACCESS)
    {
        return CMappedSection(OpenFileMappingA(dwAccess, FALSE, sName.c_str()), nBytes, dwAccess);
    }
    ~CMappedSection()
    {
        if (m_pView != nullptr)
            UnmapViewOfFile(m_pView);
        if (m_hSection != nullptr)
            CloseHandle(m_hSection);
    }
    CMappedSection(CMappedSection&& other) noexcept : m_hSection(other.m_hSection), m_pView(other.m_pView)
    {
        other.m_hSection = nullptr;
        other.m_pView = nullptr;
    }
    CMappedSection(const CMappedSection&) = delete;
    CMappedSection& operator=(const CMappedSection&) = delete;
    CMappedSection& operator=(CMappedSection&&) = delete;

    HANDLE Handle() const { return m_hSection; }
    // Null when nothing could be mapped.
    char* View() const { return m_pView; }

private:
    HANDLE m_hSection = nullptr;
    char* m_pView = nullptr;
};
