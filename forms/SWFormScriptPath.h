// The relative URL of one of the viewer's own scripts: base folder, product, version and file name.
#pragma once

#include <string>

class CCachedScriptDecorator;

class CSWFormScriptPath
{
public:
    // Throws CSWFormException on an empty product name or version.
    CSWFormScriptPath(const std::string& sProductName, const std::string& sVersion);
    virtual ~CSWFormScriptPath() = default;

    virtual void Initialize(const std::string& sBaseFolder, const std::string& sProductName,
                            const std::string& sVersion);
    virtual void Initialize(const std::string& sProductName, const std::string& sVersion);

    std::string GetScriptPath(const std::string& sFileName) const;
    // The cache key stands between the version's "/" and the file name; empty without a decorator.
    std::string GetCachedScriptPath(const std::string& sFileName,
                                    const CCachedScriptDecorator* pDecorator) const;

    std::string m_sBaseFolder;
    std::string m_sVersion;
    std::string m_sProductName;
};

// What every rewriter builds its script path with.
constexpr const char* SCRIPT_BASE_FOLDER = "KSScripts";
constexpr const char* SCRIPT_PRODUCT_NAME = "Dorvel";
constexpr const char* SCRIPT_VERSION = "1.5";
