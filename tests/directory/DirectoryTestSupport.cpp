#include "tests/directory/DirectoryTestSupport.h"

#include <mutex>

namespace
{
class CSlapdEnvironment : public ::testing::Environment
{
public:
    void TearDown() override
    {
        std::lock_guard<std::mutex> guard(Mutex());
        Server().reset();
    }

    static std::mutex& Mutex()
    {
        static std::mutex s_mx;
        return s_mx;
    }
    static std::unique_ptr<CSlapdServer>& Server()
    {
        static std::unique_ptr<CSlapdServer> s_spServer;
        return s_spServer;
    }
    static std::string& Error()
    {
        static std::string s_sError;
        return s_sError;
    }
};

[[maybe_unused]] ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new CSlapdEnvironment());
} // namespace

CSlapdServer* SharedSlapd()
{
    std::lock_guard<std::mutex> guard(CSlapdEnvironment::Mutex());
    auto& spServer = CSlapdEnvironment::Server();
    if (!spServer && CSlapdEnvironment::Error().empty())
    {
        auto spNew = std::make_unique<CSlapdServer>();
        if (spNew->Start(CSlapdEnvironment::Error()))
            spServer = std::move(spNew);
    }
    if (!spServer)
        ADD_FAILURE() << "The directory server cannot run: " << CSlapdEnvironment::Error();
    return spServer.get();
}
