// The demo's sample requests as scripts/demo runs them: through the host's tool, each with its own inputs,
// over the demo's own directory (samples/directory/) served by a real slapd. An error event in any of them
// is a defect of the worker or of the samples; the samples that show the directory deciding show it.
#include "tests/directory/SlapdServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;

// The words of a sample's ".args" file (the demo's default user when there is none), each quoted for the
// shell; a page's copy (--out) is left out, so that the test writes nothing of the demo's.
std::string SampleArguments(const fs::path& request)
{
    fs::path args = request;
    args.replace_extension(".args");
    std::istringstream words(fs::exists(args) ? ReadFileText(args) : std::string("--user EXAMPLE\\alice"));
    std::string strArguments;
    std::string strWord;
    while (words >> strWord)
    {
        if (strWord == "--out")
        {
            words >> strWord;
            continue;
        }
        if (strWord.rfind("samples/", 0) == 0)
            strWord = std::string(DLSW_SOURCE_DIR) + "/" + strWord;
        strArguments += " '" + strWord + "'";
    }
    return strArguments;
}

TEST(DemoSamples, RunOverTheDemosDirectoryWithoutAnErrorEvent)
{
    CSlapdServer server;
    std::string strError;
    ASSERT_TRUE(server.Start(strError, "rootdse.ldif", fs::path(DLSW_SOURCE_DIR) / "samples/directory"))
        << "slapd is a test dependency (scripts/install-deps installs it): " << strError;
    const DirectoryServerConfig directory = server.MachineDirectory();
    const std::string strDirectory = " --directory '" + directory.m_sUri + "' --directory-bind '" +
                                     directory.m_sBindDN + "' --directory-password-file '" +
                                     directory.m_sBindPasswordFile + "' --computer-name mail01.example.test";

    std::map<std::string, std::string> mapOutputs;
    for (const auto& entry : fs::directory_iterator(fs::path(DLSW_SOURCE_DIR) / "samples/requests"))
    {
        if (entry.path().extension() != ".http")
            continue;
        const std::string strName = entry.path().stem().string();
        SCOPED_TRACE(strName);
        int nExit = 0;
        const std::string strOutput =
            RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --json --root '" + DLSW_INSTALL_TREE + "'" +
                           SampleArguments(entry.path()) + strDirectory + " '" + entry.path().string() + "'",
                       nExit);
        EXPECT_EQ(nExit, 0) << strOutput;
        EXPECT_NE(strOutput.find("\"events\":[{\"type\":4,\"id\":1610612837,\"strings\":[]}]"),
                  std::string::npos)
            << "an event other than the start's own:\n"
            << strOutput.substr(0, strOutput.find("\"request\":"));
        mapOutputs[strName] = strOutput;
    }
    ASSERT_GE(mapOutputs.size(), 25u);

    // The rewritten read page carries the hash values the two download samples send back.
    const std::string& strRead = mapOutputs["15-premium-read-page"];
    EXPECT_NE(strRead.find("var g_szKSDLItemIDH=\\\"1079260829\\\";"), std::string::npos) << strRead;
    EXPECT_NE(strRead.find("_attid=\\\"RgAAAAAtt0\\\""), std::string::npos);
    EXPECT_NE(strRead.find("_KSDLAttIDHash=\\\"1309776118\\\""), std::string::npos) << strRead;

    const struct
    {
        const char* m_pszSample;
        std::vector<std::string> m_vecParts;
    } aSamples[] = {
        // The page's own hashes let the download through, without them.
        {"12-direct-download-allowed",
         {"\"control_message\":\"Ignore\"", "\"response_sent\":null",
          "\"passed_on\":{\"method\":\"GET\",\"url\":\"/owa/"
          "attachment.ashx?attach=1&id=RgAAAADs4ZfQ%2bWvTQ5dYtJbqPEoBwBdm6Ks&"
          "attcnt=1&attid0=RgAAAAAtt0\""}},
        // One digit of the attachment's hash changed: refused.
        {"11-direct-download-wrong-hash",
         {"\"control_message\":\"Completed\"", "\"response_sent\":\"HTTP/1.0 401 OK\\r\\n",
          "You are not authorized to view this file."}},
        // The directory says the user reads French; her browser asks for English.
        {"24-direct-download-denied-in-french",
         {"\"control_message\":\"Completed\"", "Vous n'êtes pas autorisé à afficher ce fichier."}},
        // OWA forces archives to be saved: the viewer is told so.
        {"25-viewer-force-save-file-type",
         {"\"control_message\":\"Handled/Redirected\"",
          "\"url\":\"/X-Dorvel/bin/dorvel.srf?fn=cGxhbi56aXA%3d&id=RgAAAADs4ZfQ&owaal=2\""}},
    };
    for (const auto& sample : aSamples)
    {
        SCOPED_TRACE(sample.m_pszSample);
        const std::string& strOutput = mapOutputs[sample.m_pszSample];
        for (const std::string& strPart : sample.m_vecParts)
            EXPECT_NE(strOutput.find(strPart), std::string::npos) << strPart << "\n" << strOutput;
    }
}
} // namespace
