#include "forms/SWFormScriptPath.h"

#include "forms/CachedScriptDecorator.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"

CSWFormScriptPath::CSWFormScriptPath(const std::string& sProductName, const std::string& sVersion)
{
    CSWFormScriptPath::Initialize(sProductName, sVersion);
}

void CSWFormScriptPath::Initialize(const std::string& sProductName, const std::string& sVersion)
{
    Initialize(SCRIPT_BASE_FOLDER, sProductName, sVersion);
}

void CSWFormScriptPath::Initialize(const std::string& sBaseFolder, const std::string& sProductName,
                                   const std::string& sVersion)
{
    if (sBaseFolder.empty())
        throw CSWFormException("Initialize CSWFormScriptPath failed: empty base folder");
    if (sProductName.empty())
        throw CSWFormException("Initialize CSWFormScriptPath failed: empty product name");
    if (sVersion.empty())
        throw CSWFormException("Initialize CSWFormScriptPath failed: empty version info");
    m_sBaseFolder = sBaseFolder;
    m_sProductName = sProductName;
    m_sVersion = sVersion;
}

std::string CSWFormScriptPath::GetScriptPath(const std::string& sFileName) const
{
    std::string sPath;
    sPath.reserve(256);
    sPath += m_sBaseFolder;
    sPath += '/';
    sPath += m_sProductName;
    sPath += '/';
    sPath += m_sVersion;
    sPath += '/';
    sPath += sFileName;
    return sPath;
}

std::string CSWFormScriptPath::GetCachedScriptPath(const std::string& sFileName,
                                                   const CCachedScriptDecorator* pDecorator) const
{
    if (pDecorator == nullptr)
        return std::string();
    // The key comes from a request header: it may only ever be one piece of the path.
    return GetScriptPath(CPageEscape::UrlComponent(pDecorator->GetKey()) + sFileName);
}
