// The portal path of the recipient dialog against real programs: the web-service library
// posting to a real qvportal on loopback, and the XML rules of the texts they exchange.

#include "JobFixture.h"

#include "batch/LibXml.h"
#include "support/Helpers.h"

#include <netinet/in.h>
#include <sys/socket.h>

using namespace jobtest;

namespace {

// A loopback port nobody listens on right now.
int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

bool accepts(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

std::string request(const std::string& company)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Request>   <Access>     <Authentication user=\"DS\" "
           "password=\"\"/>     <Connection application=\"ZELKO\" source=\"\"/>     <Organization name=\"" +
           company + "\"/>     <Locale language=\"zh_CN\"/>   </Access>   <RequestContent/> </Request>";
}

class Portal : public JobFixture {
protected:
    std::string startPortal()
    {
        const int port = freePort();
        portal = std::make_unique<Process>(bin("qvportal"),
                                           std::vector<std::string>{"--install", install.dir(), "--listen",
                                                                    "127.0.0.1:" + std::to_string(port)},
                                           install.path("portal.out"));
        EXPECT_TRUE(waitFor([&] { return accepts(port); }, 10)) << portal->output();
        return "http://127.0.0.1:" + std::to_string(port) + "/";
    }
    std::unique_ptr<Process> portal;
};

} // namespace

TEST(LibXml, DeclarationsAreNormalisedOnEveryBranch)
{
    const std::string decl = "<?xml version=\"1.0\" encoding=\"GB2312\"?>";
    const std::string doctype = "<!DOCTYPE SC[<!ENTITY stdd \"&amp;stdd;\">]>";
    EXPECT_EQ(NormaliseXmlHeader("<Root/>"), decl + doctype + "<Root/>");
    EXPECT_EQ(NormaliseXmlHeader("<!DOCTYPE x><Root/>"), decl + "<!DOCTYPE x><Root/>");
    EXPECT_EQ(NormaliseXmlHeader("<?xml version=\"1.0\"?><Root/>"),
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>" + doctype + "<Root/>");
    EXPECT_EQ(NormaliseXmlHeader("<?XML version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!DOCTYPE y><Root/>"),
              "<?XML version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!DOCTYPE y><Root/>");

    const auto doc = LoadXmlText("<Root><R1 ID=\"DS\" Name=\"a&stdd;b\"/></Root>");
    const pugi::xml_node r1 = FindOrAddNode(doc->document_element(), "R1", false);
    ASSERT_TRUE(r1);
    EXPECT_EQ(GetAttributeText(r1, "Name"), "a&stdd;b") << "the entity reads back as its own spelling";
    EXPECT_EQ(GetAttributeText(r1, "Mob"), "");
    EXPECT_FALSE(FindOrAddNode(doc->document_element(), "R2", false));
    const pugi::xml_node r2 = FindOrAddNode(doc->document_element(), "R2", true);
    SetAttributeText(r2, "ID", "张伟");
    EXPECT_EQ(XmlText(doc->document_element()), "<Root><R1 ID=\"DS\" Name=\"a&amp;stdd;b\"/><R2 ID=\"张伟\"/></Root>");
    EXPECT_FALSE(LoadXmlText("not xml <")->document_element());
}

TEST_F(Portal, TheServiceListsTheUsersOfAKnownCompany)
{
    const std::string address = startPortal();
    const std::string answer = InvokeWebService(address, "PORTAL.getAllUser", request("01"));
    const auto doc = LoadXmlText(answer);
    EXPECT_STREQ(doc->select_node("//Status[@code]").node().attribute("code").value(), "0") << answer;
    const pugi::xpath_node_set records = doc->select_nodes("//Record");
    ASSERT_EQ(records.size(), 2u) << answer;
    EXPECT_STREQ(records[1].node().select_node("Field[@name='Id']").node().attribute("value").value(), "U001");
    EXPECT_STREQ(records[1].node().select_node("Field[@name='Name']").node().attribute("value").value(), "张伟");

    const auto unknown = LoadXmlText(InvokeWebService(address, "PORTAL.getAllUser", request("99")));
    EXPECT_STRNE(unknown->select_node("//Status[@code]").node().attribute("code").value(), "0");
    EXPECT_NE(std::string(unknown->select_node("//Status[@Description]").node().attribute("Description").value())
                  .find("99"),
              std::string::npos);
    const auto method = LoadXmlText(InvokeWebService(address, "PORTAL.getNothing", request("01")));
    EXPECT_STRNE(method->select_node("//Status[@code]").node().attribute("code").value(), "0");

    // Nothing of the call stays in the temporary folder.
    for (const auto& entry : fs::directory_iterator(GetTempDirectory()))
        EXPECT_EQ(entry.path().filename().string().rfind("~Zelko_", 0), std::string::npos) << entry.path();
}

TEST_F(Portal, AServiceThatIsNotThereOrNeverAnswersFailsWithTheReason)
{
    const int closed = freePort();
    try {
        InvokeWebService("http://127.0.0.1:" + std::to_string(closed) + "/", "PORTAL.getAllUser", request("01"));
        ADD_FAILURE() << "a refused connection raised nothing";
    } catch (const WebServiceError& e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(closed)), std::string::npos) << e.what();
    }

    // A listener that takes the connection and never answers: the call ends after its
    // time limit instead of blocking the dialog for good.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ASSERT_EQ(::listen(s, 4), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(InvokeWebService("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/", "PORTAL.getAllUser",
                                  request("01")),
                 WebServiceError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    ::close(s);
}
