// dlsw-host: loads the worker from an installation tree and drives one request through it.
#include "host/HostFilter.h"
#include "host/HostReport.h"
#include "host/HostUserToken.h"
#include "platform/MachineConfig.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#ifndef DLSW_DEFAULT_ROOT
#define DLSW_DEFAULT_ROOT "samples/install"
#endif

namespace
{
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_LOAD = 3;

void Usage(std::ostream& out)
{
    out << "usage: dlsw-host [options] REQUEST_FILE\n"
           "\n"
           "Loads DL_ServiceWorker.so from the bin/ folder of an installation tree and drives the request "
           "in\n"
           "REQUEST_FILE (raw HTTP: request line and headers) through it.\n"
           "\n"
           "  --root DIR               installation tree (default: " DLSW_DEFAULT_ROOT ")\n"
           "  --status N               status of the response the server would send (default 200)\n"
           "  --body FILE              body of that response (default: none)\n"
           "  --out FILE               write the response body as it leaves the host (after the worker's\n"
           "                           edits, or the worker's replacement) to FILE\n"
           "  --without-submit-entry   offer the worker no call-back for its buffer instructions\n"
           "  --response-header 'N: V' a header of that response (repeatable; a body gets\n"
           "                           'Content-Type: text/html; charset=utf-8' unless one is given)\n"
           "  --subscription-type N    the host's kind of request (default: derived from the URL)\n"
           "  --criteria-id N          the host's link-criteria id (default 1)\n"
           "  --client-ip ADDR         the client's address (default 127.0.0.1)\n"
           "  --user DOMAIN\\NAME       the authenticated user (default: anonymous)\n"
           "  --user-sid SID           that user's SID (default S-1-5-21-1000-1000-1000-1000)\n"
           "  --group SID              a group the user belongs to (repeatable)\n"
           "  --json                   print one JSON object instead of the report\n"
           "  --directory URI          the directory server of the machine (default: none, as outside\n"
           "                           a domain)\n"
           "  --directory-bind DN      the machine's identity there (default: anonymous)\n"
           "  --directory-password-file FILE  the file whose first line is that identity's password\n"
           "  --computer-name HOST[.DOMAIN]   the machine's DNS names (default: localhost)\n";
}

bool ReadFile(const std::string& strPath, std::string& strText)
{
    std::ifstream in(strPath, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    strText = buffer.str();
    return true;
}

bool ParseNumber(const std::string& strText, DWORD& dwValue)
{
    if (strText.empty())
        return false;
    char* pszEnd = nullptr;
    const unsigned long ulValue = std::strtoul(strText.c_str(), &pszEnd, 0);
    if (*pszEnd != '\0' || ulValue > 0xFFFFFFFFul || strText[0] == '-')
        return false;
    dwValue = static_cast<DWORD>(ulValue);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    std::string strRoot = DLSW_DEFAULT_ROOT;
    std::string strRequestFile;
    std::string strBodyFile;
    std::string strOutFile;
    bool bJson = false;
    DirectoryServerConfig directory;
    std::string strComputerName;
    CHostRun run;
    CHostRequest& request = run.m_request;

    for (int i = 1; i < argc; ++i)
    {
        const std::string strArg = argv[i];
        const auto Value = [&](std::string& strValue)
        {
            if (i + 1 >= argc)
            {
                std::cerr << "dlsw-host: " << strArg << " needs a value\n";
                std::exit(EXIT_USAGE);
            }
            strValue = argv[++i];
        };
        const auto Number = [&](DWORD& dwValue)
        {
            std::string strValue;
            Value(strValue);
            if (!ParseNumber(strValue, dwValue))
            {
                std::cerr << "dlsw-host: " << strArg << " takes a number, not '" << strValue << "'\n";
                std::exit(EXIT_USAGE);
            }
        };
        if (strArg == "--help" || strArg == "-h")
        {
            Usage(std::cout);
            return 0;
        }
        else if (strArg == "--root")
            Value(strRoot);
        else if (strArg == "--status")
            Number(request.m_dwResponseStatus);
        else if (strArg == "--body")
            Value(strBodyFile);
        else if (strArg == "--out")
            Value(strOutFile);
        else if (strArg == "--without-submit-entry")
            request.m_bOfferSubmitEntry = false;
        else if (strArg == "--response-header")
        {
            std::string strHeader;
            Value(strHeader);
            const size_t nColon = strHeader.find(':');
            if (nColon == std::string::npos || nColon == 0)
            {
                std::cerr << "dlsw-host: --response-header takes 'Name: value'\n";
                return EXIT_USAGE;
            }
            request.m_vecResponseHeaders.emplace_back(RawRequest::Trim(strHeader.substr(0, nColon)),
                                                      RawRequest::Trim(strHeader.substr(nColon + 1)));
        }
        else if (strArg == "--subscription-type")
        {
            Number(request.m_dwSubscriptionType);
            request.m_bSubscriptionTypeSet = true;
        }
        else if (strArg == "--criteria-id")
            Number(request.m_dwCriteriaID);
        else if (strArg == "--client-ip")
            Value(request.m_strClientAddress);
        else if (strArg == "--user")
            Value(request.m_strUser);
        else if (strArg == "--user-sid" || strArg == "--group")
        {
            std::string strSid;
            Value(strSid);
            if (!IsValidSidText(strSid))
            {
                std::cerr << "dlsw-host: " << strArg << " takes a SID of the form S-1-..., not '" << strSid
                          << "'\n";
                return EXIT_USAGE;
            }
            if (strArg == "--group")
                request.m_vecGroupSids.push_back(strSid);
            else
                request.m_strUserSid = strSid;
        }
        else if (strArg == "--json")
            bJson = true;
        else if (strArg == "--directory")
            Value(directory.m_sUri);
        else if (strArg == "--directory-bind")
            Value(directory.m_sBindDN);
        else if (strArg == "--directory-password-file")
            Value(directory.m_sBindPasswordFile);
        else if (strArg == "--computer-name")
            Value(strComputerName);
        else if (!strArg.empty() && strArg[0] == '-')
        {
            std::cerr << "dlsw-host: unknown option " << strArg << "\n";
            Usage(std::cerr);
            return EXIT_USAGE;
        }
        else if (strRequestFile.empty())
            strRequestFile = strArg;
        else
        {
            std::cerr << "dlsw-host: one request file at a time\n";
            return EXIT_USAGE;
        }
    }
    if (strRequestFile.empty())
    {
        Usage(std::cerr);
        return EXIT_USAGE;
    }

    std::string strRequestText;
    if (!ReadFile(strRequestFile, strRequestText))
    {
        std::cerr << "dlsw-host: cannot read " << strRequestFile << "\n";
        return EXIT_USAGE;
    }
    std::string strError;
    if (!RawRequest::Parse(strRequestText, request.m_raw, strError))
    {
        std::cerr << "dlsw-host: " << strRequestFile << ": " << strError << "\n";
        return EXIT_USAGE;
    }
    if (!strBodyFile.empty())
    {
        if (!ReadFile(strBodyFile, request.m_strResponseBody))
        {
            std::cerr << "dlsw-host: cannot read " << strBodyFile << "\n";
            return EXIT_USAGE;
        }
        bool bHasContentType = false;
        for (const auto& header : request.m_vecResponseHeaders)
            bHasContentType = bHasContentType || RawRequest::EqualsNoCase(header.first, "Content-Type");
        if (!bHasContentType)
            request.m_vecResponseHeaders.emplace_back("Content-Type", "text/html; charset=utf-8");
    }

    CMachineConfig& machine = CMachineConfig::Instance();
    machine.SetDirectoryServer(directory);
    if (!strComputerName.empty())
    {
        const size_t nDot = strComputerName.find('.');
        const std::string strHost = strComputerName.substr(0, nDot);
        std::string strNetBios = strHost;
        for (char& ch : strNetBios)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        machine.SetComputerName(strNetBios, strHost,
                                nDot == std::string::npos ? std::string() : strComputerName.substr(nDot + 1));
    }

    run.m_strModulePath = strRoot + "/bin/DL_ServiceWorker.so";
    CHostFilter host;
    if (!host.Load(run.m_strModulePath, strError))
    {
        std::cerr << "dlsw-host: " << strError << "\n";
        return EXIT_LOAD;
    }
    ClearRecordedEvents();
    run.m_bVersionResult = host.GetFilterVersion(run.m_version);
    if (run.m_bVersionResult)
    {
        run.m_result = host.Process(request);
        run.m_bProcessed = true;
        run.m_dwTerminateResult = host.Terminate();
    }
    run.m_vecEvents = GetRecordedEvents();
    std::cerr.flush();
    std::fflush(stderr);
    std::cout << (bJson ? FormatJson(run) : FormatReport(run)) << std::endl;
    host.Unload();
    if (run.m_bProcessed && !strOutFile.empty())
    {
        std::ofstream out(strOutFile, std::ios::binary | std::ios::trunc);
        out.write(run.m_result.m_strBody.data(), static_cast<std::streamsize>(run.m_result.m_strBody.size()));
        if (!out)
        {
            std::cerr << "dlsw-host: cannot write " << strOutFile << "\n";
            return EXIT_USAGE;
        }
    }
    return run.m_bVersionResult ? 0 : EXIT_LOAD;
}
