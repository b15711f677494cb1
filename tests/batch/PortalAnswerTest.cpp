// The portal's answer read apart from its dialog: success with its users, a refusal with
// its reason, an error page, and text that is no XML.

#include "batch/PortalAnswer.h"

#include <gtest/gtest.h>

TEST(PortalAnswer, SuccessGivesTheUsersWithAnIdAndCountsTheOthers)
{
    const PortalAnswer a = ReadPortalAnswer(
        "<R><Status code=\"0\"/><Record><Field name=\"Name\" value=\"甲\"/><Field name=\"Id\" value=\"P01\"/></Record>"
        "<Record><Field name=\"Name\" value=\"无号\"/></Record><Record><Field name=\"Id\" value=\"P02\"/></Record></R>");
    ASSERT_EQ(a.status, PortalAnswer::Status::Ok);
    ASSERT_EQ(a.users.size(), 2u);
    EXPECT_EQ(a.users[0].id, "P01");
    EXPECT_EQ(a.users[0].name, "甲");
    EXPECT_EQ(a.users[1].id, "P02");
    EXPECT_EQ(a.users[1].name, "");
    EXPECT_EQ(a.skipped, 1);
}

TEST(PortalAnswer, ARefusalAnErrorPageAndTextThatIsNoXmlAreToldApart)
{
    const PortalAnswer refused = ReadPortalAnswer("<R><Status code=\"7\" Description=\"公司未开通\"/></R>");
    EXPECT_EQ(refused.status, PortalAnswer::Status::Failed);
    EXPECT_EQ(refused.description, "公司未开通");

    // A well-formed error page has no status at all: failed, with nothing to describe it.
    const PortalAnswer page = ReadPortalAnswer("<html><body><h1>Service Unavailable</h1><Record/></body></html>");
    EXPECT_EQ(page.status, PortalAnswer::Status::Failed);
    EXPECT_EQ(page.description, "");
    EXPECT_TRUE(page.users.empty());

    EXPECT_EQ(ReadPortalAnswer("<html><body>Bad gateway<br></body></html>").status, PortalAnswer::Status::NotXml);
    EXPECT_EQ(ReadPortalAnswer("").status, PortalAnswer::Status::NotXml);
}
