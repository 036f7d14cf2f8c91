#include "common/CiString.h"
#include "common/TraceLog.h"
#include "settings/DLSettings.h"
#include "settings/LoadGuard.h"
#include "settings/XmlHelpers.h"

#include <new>

namespace
{
enum ESaveItemKind
{
    SAVE_SETTING_ITEM = 1,
    SAVE_HIGH_SPEED_APP = 2,
    SAVE_SUMMARY_INFO = 3,
};

// A new element appended to the parent: children appear in the order they are written.
CComPtr<IXMLDOMNode> AppendElement(IXMLDOMDocument2* pDoc, IXMLDOMNode* pParent, const char* pszName)
{
    HRESULT hr = S_OK;
    CComPtr<IXMLDOMNode> spElement = XMLCreateNode(pDoc, NODE_ELEMENT, pszName, &hr);
    ThrowIfFailed(hr);
    if (!spElement)
        ThrowIfFailed(E_POINTER);
    ThrowIfFailed(pParent->insertBefore(spElement, _variant_t(), nullptr));
    return spElement;
}

CComPtr<IXMLDOMNamedNodeMap> AttributesOf(IXMLDOMNode* pElement)
{
    CComPtr<IXMLDOMNamedNodeMap> spAttributes;
    ThrowIfFailed(pElement->get_attributes(&spAttributes));
    return spAttributes;
}

// A section element below the parent with one item element per entry, in the container's order, each
// written by the settings object's item writer.
template <class TContainer, class TGetItem>
void WriteSection(CBasicSettings& settings, IXMLDOMDocument2* pDoc, IXMLDOMNode* pParent,
                  const std::vector<std::string>& vecNames, const TContainer& items, TGetItem getItem,
                  const char* pszItemElement, const char* pszSectionElement, int nKind)
{
    CComPtr<IXMLDOMNode> spSection = AppendElement(pDoc, pParent, pszSectionElement);
    for (const auto& entry : items)
        ThrowIfFailed(
            settings.DipatchSaveItem(pDoc, spSection, vecNames, getItem(entry), pszItemElement, nKind));
}

const std::vector<std::string>& ItemNames()
{
    static const std::vector<std::string> s_vecNames = {"ID", "DESCR", "VALUE"};
    return s_vecNames;
}

const void* MapItem(const std::pair<const int, SettingItem>& entry)
{
    return &entry.second;
}
} // namespace

HRESULT CDLSettings::DipatchSaveItem(IXMLDOMDocument2* pDoc, IXMLDOMNode* pSectionNode,
                                     const std::vector<std::string>& vecAttributeNames, const void* pItem,
                                     const char* pszItemElement, int nKind)
{
    if (nKind == SAVE_SETTING_ITEM)
        return CBasicSettings::DipatchSaveItem(pDoc, pSectionNode, vecAttributeNames, pItem, pszItemElement,
                                               nKind);
    if (nKind != SAVE_HIGH_SPEED_APP && nKind != SAVE_SUMMARY_INFO)
        return S_OK;
    const size_t nNames = nKind == SAVE_HIGH_SPEED_APP ? 3 : 4;
    if (pSectionNode == nullptr || pItem == nullptr || vecAttributeNames.size() < nNames)
    {
        TraceLog("CDLSettings::DipatchSaveItem pItemsNode NULL");
        return E_POINTER;
    }
    LoadFailureKind eKind = LoadFailureKind::None;
    return CatchLoadFailure(
        [&]() -> HRESULT
        {
            CComPtr<IXMLDOMNode> spElement = AppendElement(pDoc, pSectionNode, pszItemElement);
            CComPtr<IXMLDOMNamedNodeMap> spAttributes = AttributesOf(spElement);
            if (nKind == SAVE_HIGH_SPEED_APP)
            {
                const auto& app = *static_cast<const HighSpeedApp*>(pItem);
                ThrowIfFailed(
                    XMLSetTextAttribute(pDoc, spAttributes, vecAttributeNames[0].c_str(), app.m_sName));
                ThrowIfFailed(XMLSetTextAttribute(pDoc, spAttributes, vecAttributeNames[1].c_str(),
                                                  FromCi(app.m_csExtension)));
                return XMLSetIntAttribute(pDoc, spAttributes, vecAttributeNames[2].c_str(), app.m_nAction);
            }
            const auto& info = *static_cast<const SummaryInfo*>(pItem);
            ThrowIfFailed(XMLSetIntAttribute(pDoc, spAttributes, vecAttributeNames[0].c_str(), info.m_nID));
            ThrowIfFailed(
                XMLSetTextAttribute(pDoc, spAttributes, vecAttributeNames[1].c_str(), info.m_sDescr));
            ThrowIfFailed(
                XMLSetTextAttribute(pDoc, spAttributes, vecAttributeNames[2].c_str(), info.m_sValue));
            return XMLSetIntAttribute(pDoc, spAttributes, vecAttributeNames[3].c_str(), info.m_nOn);
        },
        eKind);
}

HRESULT CDLSettings::Save()
{
    const std::string sPath = GetPath();
    LoadFailureKind eKind = LoadFailureKind::None;
    const HRESULT hr = CatchLoadFailure(
        [&]
        {
            if (sPath.empty())
                ThrowIfFailed(E_UNEXPECTED); // never loaded: there is no file to write back
            CComPtr<IXMLDOMDocument2> spDoc;
            ThrowIfFailed(spDoc.CoCreateInstance(CLSID_DOMDocument));
            CComPtr<IXMLDOMNode> spRoot = AppendElement(spDoc, spDoc, "SETTINGS");

            WriteSection(*this, spDoc, spRoot, ItemNames(), m_mapGeneralItems, MapItem, "ITEM",
                         "GENERALSETTINGS", SAVE_SETTING_ITEM);
            static const std::vector<std::string> s_vecAppNames = {"NAME", "Extension", "ACTION"};
            const auto RowItem = [](const HighSpeedApp& app) -> const void* { return &app; };
            WriteSection(*this, spDoc, spRoot, s_vecAppNames, m_vecDefaultHighSpeed, RowItem, "APP",
                         "DEFAULTHIGHSPEED", SAVE_HIGH_SPEED_APP);
            WriteSection(*this, spDoc, spRoot, s_vecAppNames, m_vecHighSpeed, RowItem, "APP", "HIGHSPEED",
                         SAVE_HIGH_SPEED_APP);

            static const std::vector<std::string> s_vecInfoNames = {"ID", "DESCR", "VALUE", "ON"};
            for (const auto& [nSettingID, spSet] : m_mapSettingSets)
            {
                if (!spSet)
                    continue;
                CComPtr<IXMLDOMNode> spSetting = AppendElement(spDoc, spRoot, "SETTING");
                CComPtr<IXMLDOMNamedNodeMap> spSetAttributes = AttributesOf(spSetting);
                ThrowIfFailed(XMLSetIntAttribute(spDoc, spSetAttributes, "ID", spSet->m_nID));
                ThrowIfFailed(XMLSetTextAttribute(spDoc, spSetAttributes, "DESCR", spSet->m_sDescr));

                CComPtr<IXMLDOMNode> spEngines = AppendElement(spDoc, spSetting, "ENGINES");
                for (const auto& [nEngineID, spEngine] : spSet->m_mapEngines)
                {
                    if (!spEngine || spEngine->m_bOptionsOnly)
                        continue;
                    CComPtr<IXMLDOMNode> spEngineElement = AppendElement(spDoc, spEngines, "ENGINE");
                    CComPtr<IXMLDOMNamedNodeMap> spEngineAttributes = AttributesOf(spEngineElement);
                    ThrowIfFailed(XMLSetIntAttribute(spDoc, spEngineAttributes, "ID", spEngine->m_nID));
                    ThrowIfFailed(XMLSetTextAttribute(spDoc, spEngineAttributes, "DESCR", spEngine->m_sName));
                    WriteSection(*this, spDoc, spEngineElement, ItemNames(), spEngine->m_mapItems, MapItem,
                                 "MEASURE", "GENERAL", SAVE_SETTING_ITEM);
                    WriteSection(*this, spDoc, spEngineElement, ItemNames(), spEngine->m_mapOptions, MapItem,
                                 "OPTION", "OPTIONS", SAVE_SETTING_ITEM);
                }
                WriteSection(*this, spDoc, spSetting, ItemNames(), spSet->m_mapItems, MapItem, "ITEM",
                             "ITEMS", SAVE_SETTING_ITEM);
                WriteSection(
                    *this, spDoc, spSetting, s_vecInfoNames, spSet->m_vecSummary,
                    [](const SummaryInfo& info) -> const void* { return &info; }, "INFO", "SUMMARY",
                    SAVE_SUMMARY_INFO);
            }
            // The document goes to a file beside the old one that then takes its place: a reader sees the old
            // file or the new one, and a failed save leaves the old one whole.
            return XMLSaveDocument(spDoc, sPath);
        },
        eKind);
    if (FAILED(hr))
        TraceLogError(static_cast<DWORD>(hr), "CDLSettings::Save failed to write %s HRESULT %x",
                      sPath.c_str(), static_cast<unsigned>(hr));
    return hr;
}
