#include "settings/BasicSettings.h"

#include "common/TraceLog.h"
#include "platform/WinFile.h"
#include "platform/WinHandle.h"
#include "platform/WinSync.h"
#include "platform/WinTime.h"
#include "settings/XmlHelpers.h"

#include <climits>
#include <cstdlib>

namespace
{
constexpr ULONGLONG TICKS_PER_MINUTE = 60ull * FILETIME_TICKS_PER_SECOND;

FILETIME Now()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ft;
}

void TraceFileTime(const char* pszFormatPrefix, const std::string& sPath, const FILETIME& ft, int nInterval,
                   bool bCurrent)
{
    SYSTEMTIME st = {};
    FileTimeToSystemTime(&ft, &st);
    if (bCurrent)
        TraceLog("%s%s. Curent LastModifiedDate %d.%d.%d - %d:%d:%d:%d Interval: %d minutes", pszFormatPrefix,
                 sPath.c_str(), st.wDay, st.wMonth, st.wYear, st.wHour, st.wMinute, st.wSecond,
                 st.wMilliseconds, nInterval);
    else
        TraceLog("Previous LastModifiedDate %d.%d.%d - %d:%d:%d:%d", st.wDay, st.wMonth, st.wYear, st.wHour,
                 st.wMinute, st.wSecond, st.wMilliseconds);
}
} // namespace

HRESULT CBasicSettings::ReleaseInterface(CComPtr<IUnknown>& spInterface)
{
    spInterface.Release();
    return S_OK;
}

HRESULT CBasicSettings::Save()
{
    return E_NOTIMPL;
}

HRESULT CBasicSettings::DipatchSaveItem(IXMLDOMDocument2* pDoc, IXMLDOMNode* pSectionNode,
                                        const std::vector<std::string>& vecAttributeNames, const void* pItem,
                                        const char* pszItemElement, int nKind)
{
    if (nKind != 1)
        return S_OK;
    if (pSectionNode == nullptr || pItem == nullptr || vecAttributeNames.size() < 3)
    {
        TraceLog("CBasicSettings::DipatchSaveItem pItemsNode NULL");
        return E_POINTER;
    }
    const auto& item = *static_cast<const SettingItem*>(pItem);
    HRESULT hr = S_OK;
    CComPtr<IXMLDOMNode> spElement = XMLCreateNode(pDoc, NODE_ELEMENT, pszItemElement, &hr);
    if (FAILED(hr))
        return hr;
    hr = pSectionNode->appendChild(spElement, nullptr);
    if (FAILED(hr))
        return hr;
    CComPtr<IXMLDOMNamedNodeMap> spAttributes;
    hr = spElement->get_attributes(&spAttributes);
    if (FAILED(hr))
        return hr;
    hr = XMLSetIntAttribute(pDoc, spAttributes, vecAttributeNames[0].c_str(), item.m_nID);
    if (FAILED(hr))
        return hr;
    hr = XMLSetTextAttribute(pDoc, spAttributes, vecAttributeNames[1].c_str(), item.m_bstrDescr.ToAnsi());
    if (FAILED(hr))
        return hr;
    if (item.m_vValue.vt == VT_I4)
        return XMLSetIntAttribute(pDoc, spAttributes, vecAttributeNames[2].c_str(), item.m_vValue.lVal);
    if (item.m_vValue.vt == VT_BSTR)
        return XMLSetTextAttribute(pDoc, spAttributes, vecAttributeNames[2].c_str(),
                                   BstrToAnsi(item.m_vValue.bstrVal, SysStringLen(item.m_vValue.bstrVal)));
    return E_FAIL;
}

bool CBasicSettings::FindSettingsFile(const std::string& sPath, const char* pszLoader)
{
    WIN32_FIND_DATAA findData;
    HANDLE hFind = FindFirstFileA(sPath.c_str(), &findData);
    if (hFind == INVALID_HANDLE_VALUE)
    {
        TraceLog("Load %s can not find file %s error %d", pszLoader, sPath.c_str(), 2);
        return false;
    }
    FindClose(hFind);
    return true;
}

bool CBasicSettings::BeginLoad(const std::string& sPath, const char* pszLoader, CLoadStart& start)
{
    {
        std::lock_guard<std::mutex> guard(m_mxState);
        m_sParseFailure.clear();
    }
    if (!FindSettingsFile(sPath, pszLoader))
        return false;
    start.m_bTimeRead = SUCCEEDED(ReadFileTime(sPath, start.m_ftBeforeRead));
    SetPath(sPath);
    return true;
}

CComPtr<IXMLDOMDocument2> CBasicSettings::OpenDocument(const std::string& sPath, const char* pszRoot)
{
    CComPtr<IXMLDOMDocument2> spDoc;
    ThrowIfFailed(spDoc.CoCreateInstance(CLSID_DOMDocument));
    std::string sReason;
    HRESULT hr = LoadXMLDocument(spDoc, sPath, &sReason);
    if (SUCCEEDED(hr) && pszRoot != nullptr && !HasRootElement(spDoc, pszRoot))
    {
        // Another file that happens to parse would read as one without a single setting.
        sReason = sPath + " has no <" + pszRoot + "> element.";
        TraceLog("Settings file %s", sReason.c_str());
        hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    if (!sReason.empty())
    {
        std::lock_guard<std::mutex> guard(m_mxState);
        m_sParseFailure = sReason;
    }
    ThrowIfFailed(hr);
    return spDoc;
}

bool CBasicSettings::HasRootElement(IXMLDOMDocument2* pDoc, const char* pszRoot)
{
    CComPtr<IXMLDOMNode> spRoot;
    _bstr_t name;
    return pDoc != nullptr && pDoc->get_documentElement(&spRoot) == S_OK && spRoot &&
           SUCCEEDED(spRoot->get_nodeName(name.GetAddress())) && name.ToAnsi() == pszRoot;
}

std::string CBasicSettings::GetParseFailure() const
{
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_sParseFailure;
}

HRESULT CBasicSettings::ReadFileTime(const std::string& sPath, FILETIME& ft)
{
    HANDLE hFile =
        CreateFileA(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return HRESULT_FROM_WIN32(GetLastError());
    HRESULT hr = S_OK;
    if (!GetFileTime(hFile, nullptr, nullptr, &ft))
        hr = HRESULT_FROM_WIN32(GetLastError());
    if (!CloseHandle(hFile))
        hr = HRESULT_FROM_WIN32(GetLastError());
    return hr;
}

void CBasicSettings::HashFileDate()
{
    const std::string sPath = GetPath();
    FILETIME ft = {0, 0};
    const HRESULT hr = ReadFileTime(sPath, ft);
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr),
                      "CBasicSettings::HashFileDate failed to read filedate %s. HR 0x%x", sPath.c_str(),
                      static_cast<unsigned>(hr));
        return;
    }
    std::lock_guard<std::mutex> guard(m_mxState);
    m_ftLastWrite = ft;
}

HRESULT CBasicSettings::GetFileDate(bool& bChanged)
{
    FILETIME ftLastCheck;
    FILETIME ftStamp;
    std::string sPath;
    int nInterval = 0;
    {
        std::lock_guard<std::mutex> guard(m_mxState);
        ftLastCheck = m_ftLastCheck;
        ftStamp = m_ftLastWrite;
        sPath = m_sPath;
        nInterval = m_nReloadInterval;
    }
    const FILETIME ftNow = Now();
    const ULONGLONG ullNow = FileTimeToUInt64(ftNow);
    const ULONGLONG ullLast = FileTimeToUInt64(ftLastCheck);
    // A clock set back before the last check does not hold checks off until it catches up.
    const bool bIntervalPassed =
        ullNow < ullLast ||
        (ullNow - ullLast) / TICKS_PER_MINUTE >= static_cast<ULONGLONG>(nInterval < 0 ? 0 : nInterval);
    if (!bIntervalPassed || sPath.empty())
        return S_OK;

    FILETIME ftFile = {0, 0};
    const HRESULT hr = ReadFileTime(sPath, ftFile);
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "GetFileDate %s", sPath.c_str());
        return hr;
    }
    std::lock_guard<std::mutex> guard(m_mxState);
    if (CompareFileTime(&ftFile, &m_ftLastWrite) == 1)
    {
        bChanged = true;
        TraceFileTime("Reload Settings ", sPath, ftFile, nInterval, true);
        TraceFileTime("", sPath, m_ftLastWrite, nInterval, false);
        m_ftLastWrite = ftFile;
    }
    m_ftLastCheck = ftNow;
    return S_OK;
}

HRESULT CBasicSettings::Refresh()
{
    const std::string sPath = GetPath();
    FILETIME ftBeforeRead = {0, 0};
    const bool bTimeRead = SUCCEEDED(ReadFileTime(sPath, ftBeforeRead));
    const HRESULT hr = Load(sPath);
    if (FAILED(hr))
        TraceLogError(static_cast<DWORD>(hr), "Refresh failed to load %s HR= 0x%x", sPath.c_str(),
                      static_cast<unsigned>(hr));
    if (bTimeRead)
    {
        std::lock_guard<std::mutex> guard(m_mxState);
        m_ftLastWrite = ftBeforeRead;
    }
    else
        HashFileDate();
    return hr;
}

void CBasicSettings::MarkStale()
{
    std::lock_guard<std::mutex> guard(m_mxState);
    m_ftLastWrite = FILETIME{0, 0};
}

void CBasicSettings::SetReloadInterval(int nMinutes)
{
    std::lock_guard<std::mutex> guard(m_mxState);
    m_nReloadInterval = nMinutes;
}

int CBasicSettings::GetReloadInterval() const
{
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_nReloadInterval;
}

std::string CBasicSettings::GetPath() const
{
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_sPath;
}

FILETIME CBasicSettings::GetLastWriteStamp() const
{
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_ftLastWrite;
}

FILETIME CBasicSettings::GetLastCheck() const
{
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_ftLastCheck;
}

void CBasicSettings::SetPath(const std::string& sPath)
{
    std::lock_guard<std::mutex> guard(m_mxState);
    m_sPath = sPath;
}

void CBasicSettings::RecordLoad(const std::string& sPath, const FILETIME* pftBeforeRead)
{
    {
        std::lock_guard<std::mutex> guard(m_mxState);
        m_sPath = sPath;
        m_ftLastCheck = Now();
        m_ftLastWrite = pftBeforeRead != nullptr ? *pftBeforeRead : m_ftLastCheck;
    }
    if (pftBeforeRead == nullptr)
        HashFileDate();
}

HRESULT CBasicSettings::ReadAttributes(IXMLDOMNode* pElement, TagItems& items)
{
    if (pElement == nullptr)
        return S_OK;
    CComPtr<IXMLDOMNamedNodeMap> spAttributes;
    HRESULT hr = pElement->get_attributes(&spAttributes);
    if (FAILED(hr))
        return hr;
    if (!spAttributes)
        return S_OK;
    for (TAGITEM& item : items)
    {
        CComPtr<IXMLDOMNode> spAttribute;
        hr = spAttributes->getNamedItem(item.m_bstrName, &spAttribute);
        if (FAILED(hr))
            return hr;
        if (!spAttribute)
            continue; // an absent attribute leaves its value empty; the others are still read
        hr = XMLReadAttributeValue(spAttribute, &item.m_vValue);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

bool CBasicSettings::ShortTextToInt(const std::string& s, size_t nMaxLen, int& nOut)
{
    if (s.size() >= nMaxLen)
        return false;
    const long long ll = std::strtoll(s.c_str(), nullptr, 10); // at most nMaxLen digits: no overflow
    nOut = ll > INT_MAX ? INT_MAX : (ll < INT_MIN ? INT_MIN : static_cast<int>(ll));
    return true;
}

bool CBasicSettings::ReadSettingItem(const TagItems& items, SettingItem& item)
{
    if (items.size() < 3)
        return false;
    bool bIdRead = false;
    const VARIANT& vID = items[0].m_vValue;
    if (vID.vt == VT_I4)
    {
        item.m_nID = vID.lVal;
        bIdRead = true;
    }
    else if (vID.vt == VT_BSTR && vID.bstrVal != nullptr)
        bIdRead = ShortTextToInt(BstrToAnsi(vID.bstrVal, SysStringLen(vID.bstrVal)), 20, item.m_nID);
    const VARIANT& vDescr = items[1].m_vValue;
    if (vDescr.vt == VT_BSTR)
        item.m_bstrDescr = _bstr_t(vDescr.bstrVal, true);
    item.m_vValue = _variant_t(items[2].m_vValue);
    return bIdRead;
}

bool CBasicSettings::VariantToInt(const VARIANT& v, int& nOut)
{
    if (v.vt == VT_I4)
    {
        nOut = v.lVal;
        return true;
    }
    if (v.vt == VT_BSTR)
    {
        if (v.bstrVal != nullptr)
            nOut = _wtoi(v.bstrVal);
        return true;
    }
    return false;
}

bool CBasicSettings::VariantToString(const VARIANT& v, std::string& sOut)
{
    if (v.vt != VT_BSTR || v.bstrVal == nullptr)
        return false;
    sOut = BstrToAnsi(v.bstrVal, SysStringLen(v.bstrVal));
    return true;
}

bool CBasicSettings::ReadIntAttribute(const VARIANT& v, int& nOut)
{
    if (v.vt == VT_BSTR && v.bstrVal == nullptr)
        return false;
    return VariantToInt(v, nOut);
}
