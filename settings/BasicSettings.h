// The base of both XML settings files: the file's path, its last-write time as last seen, the time of the
// last change check and the reload interval; the change check, the reload and the element iteration.
#pragma once

#include "platform/ComSupport.h"
#include "platform/MsXml.h"
#include "platform/WinError.h"
#include "platform/WinTypes.h"

#include <mutex>
#include <string>
#include <vector>

// One setting as read from an element: ID, DESCR and VALUE (a text VARIANT as read, typed on lookup).
struct SettingItem
{
    int m_nID = 0;
    _bstr_t m_bstrDescr;
    _variant_t m_vValue;
};

class CBasicSettings
{
public:
    // One attribute of an element: its name and the value read (empty until read or when absent).
    struct TAGITEM
    {
        explicit TAGITEM(const char* pszName) : m_bstrName(pszName) {}
        _bstr_t m_bstrName;
        _variant_t m_vValue;
    };
    using TagItems = std::vector<TAGITEM>;

    // The callback of the element iteration: a member function of T taking the element's attributes and
    // the target it fills.
    template <class T, class TTarget> struct _functTrans
    {
        using PFN = void (T::*)(const TagItems& items, TTarget& target);
        T* m_pObject;
        PFN m_pfn;
        void operator()(const TagItems& items, TTarget& target) const { (m_pObject->*m_pfn)(items, target); }
    };

    CBasicSettings() = default;
    virtual ~CBasicSettings() = default;
    CBasicSettings(const CBasicSettings&) = delete;
    CBasicSettings& operator=(const CBasicSettings&) = delete;

    virtual HRESULT ReleaseInterface(CComPtr<IUnknown>& spInterface);
    virtual HRESULT Load(const std::string& sPath) = 0;
    virtual HRESULT Save();
    // Writes one item of the given kind below the section node; the base writes kind 1 (ID, DESCR, VALUE).
    virtual HRESULT DipatchSaveItem(IXMLDOMDocument2* pDoc, IXMLDOMNode* pSectionNode,
                                    const std::vector<std::string>& vecAttributeNames, const void* pItem,
                                    const char* pszItemElement, int nKind);

    // Records the file's current last-write time; on failure the old stamp stays.
    void HashFileDate();
    // The change check: at most once per reload interval, sets bChanged when the file's last-write time is
    // newer than the one recorded. The caller clears bChanged first.
    HRESULT GetFileDate(bool& bChanged);
    // Loads the stored path again, then records the file's last-write time (as read before loading)
    // whatever the result.
    HRESULT Refresh();
    // Forgets the recorded last-write time, so the next change check past the interval reports a change:
    // a reload that could not run or failed is tried again.
    void MarkStale();

    void SetReloadInterval(int nMinutes);
    int GetReloadInterval() const;
    std::string GetPath() const;
    FILETIME GetLastWriteStamp() const;
    FILETIME GetLastCheck() const;
    // Why the parser refused the file at the last load (file, line, column, the parser's message); empty
    // when the last load parsed it or failed for another reason.
    std::string GetParseFailure() const;

    // Reads the named attributes of every child element of that name and hands the element and its
    // attributes to fn(IXMLDOMNode*, const TagItems&). A missing parent has no children. A failing DOM
    // call is raised with ThrowIfFailed.
    template <class TFn>
    static HRESULT ForEachElement(IXMLDOMNode* pParent, const char* pszChildName,
                                  const std::vector<const char*>& vecNames, TFn&& fn);
    // The same, for a callback that needs only the attributes.
    template <class T, class TTarget>
    static HRESULT ForEachChild(IXMLDOMNode* pParent, const char* pszChildName,
                                const std::vector<const char*>& vecNames,
                                const _functTrans<T, TTarget>& callback, TTarget& target);

    // Fills each named attribute's value; an attribute the element lacks stays empty and the others are
    // still read.
    static HRESULT ReadAttributes(IXMLDOMNode* pElement, TagItems& items);
    // An item from the attributes ID, DESCR, VALUE (in that order). False when the ID is absent or is no
    // short decimal text.
    static bool ReadSettingItem(const TagItems& items, SettingItem& item);
    static bool VariantToInt(const VARIANT& v, int& nOut);
    static bool VariantToString(const VARIANT& v, std::string& sOut);
    // An attribute that is there and reads as an int (VT_I4, or a non-null text by _wtoi).
    static bool ReadIntAttribute(const VARIANT& v, int& nOut);
    // atoi of a text shorter than nMaxLen characters; false for a longer text. Values are clamped.
    static bool ShortTextToInt(const std::string& s, size_t nMaxLen, int& nOut);

protected:
    // Records a load: the last check becomes now, and the stamp the file's last-write time as read before
    // the file was (null: as it is now). A stamp taken after reading could cover an edit saved while the
    // file was read, and that edit would never be loaded.
    void RecordLoad(const std::string& sPath, const FILETIME* pftBeforeRead);
    void SetPath(const std::string& sPath);
    static HRESULT ReadFileTime(const std::string& sPath, FILETIME& ft);
    // Whether the file to load is there; when it is not, the loader's trace line says so.
    static bool FindSettingsFile(const std::string& sPath, const char* pszLoader);

    // What a load notes before it reads: the file's last-write time then, when it could be read.
    struct CLoadStart
    {
        FILETIME m_ftBeforeRead{0, 0};
        bool m_bTimeRead = false;
        const FILETIME* BeforeRead() const { return m_bTimeRead ? &m_ftBeforeRead : nullptr; }
    };
    // The start every loader shares: false when the file is not there (traced under the loader's name);
    // otherwise the file's last-write time is noted and the path recorded.
    bool BeginLoad(const std::string& sPath, const char* pszLoader, CLoadStart& start);
    // A new document holding the file; a failing step is raised with ThrowIfFailed. When the parser refuses
    // the file, or its root element is not pszRoot (when given), the reason is kept for GetParseFailure.
    CComPtr<IXMLDOMDocument2> OpenDocument(const std::string& sPath, const char* pszRoot = nullptr);
    static bool HasRootElement(IXMLDOMDocument2* pDoc, const char* pszRoot);

private:
    // The change check runs outside the holder's lock while a load may write these: they have a lock of
    // their own.
    mutable std::mutex m_mxState;
    FILETIME m_ftLastWrite{0, 0};
    FILETIME m_ftLastCheck{0, 0};
    std::string m_sPath;
    std::string m_sParseFailure;
    int m_nReloadInterval = 15;
};

template <class TFn>
HRESULT CBasicSettings::ForEachElement(IXMLDOMNode* pParent, const char* pszChildName,
                                       const std::vector<const char*>& vecNames, TFn&& fn)
{
    if (pParent == nullptr)
        return S_OK;
    CComPtr<IXMLDOMNodeList> spList;
    HRESULT hr = pParent->selectNodes(_bstr_t(pszChildName), &spList);
    ThrowIfFailed(hr);
    LONG nLength = 0;
    hr = spList->get_length(&nLength);
    ThrowIfFailed(hr);
    for (LONG i = 0; i < nLength; ++i)
    {
        CComPtr<IXMLDOMNode> spElement;
        hr = spList->get_item(i, &spElement);
        ThrowIfFailed(hr);
        if (!spElement || vecNames.empty())
            continue;
        TagItems items;
        items.reserve(vecNames.size());
        for (const char* pszName : vecNames)
            items.emplace_back(pszName);
        hr = ReadAttributes(spElement, items);
        ThrowIfFailed(hr);
        fn(spElement.Get(), items);
    }
    return hr;
}

template <class T, class TTarget>
HRESULT CBasicSettings::ForEachChild(IXMLDOMNode* pParent, const char* pszChildName,
                                     const std::vector<const char*>& vecNames,
                                     const _functTrans<T, TTarget>& callback, TTarget& target)
{
    return ForEachElement(pParent, pszChildName, vecNames,
                          [&](IXMLDOMNode*, const TagItems& items) { callback(items, target); });
}
