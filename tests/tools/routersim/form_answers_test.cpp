#include <gtest/gtest.h>

#include "routersim/form_answers.h"
#include "routersim/form_fields.h"

using namespace routersim;

TEST(FormFields, SplitsAndDecodes)
{
    const FormFields fields = ParseFormFields("a=1&b=x+y%21&&c&d=%zz&a=2&e=%4");
    EXPECT_EQ(fields.at("a"), "1");
    EXPECT_EQ(fields.at("b"), "x y!");
    EXPECT_EQ(fields.at("c"), "");
    EXPECT_EQ(fields.at("d"), "%zz");
    EXPECT_EQ(fields.at("e"), "%4");
    EXPECT_EQ(fields.size(), 5u);
}

TEST(FormAnswers, Classifies)
{
    EXPECT_EQ(ClassifyForm(ParseFormFields("goformId=SwitchFactoryMode&SwitchCMD=Query")), FormCommand::kModeQuery);
    EXPECT_EQ(ClassifyForm(ParseFormFields("goformId=SwitchFactoryMode&SwitchCMD=Open")), FormCommand::kSwitchOpen);
    EXPECT_EQ(ClassifyForm(ParseFormFields("goformId=GetVersion")), FormCommand::kVersion);
    EXPECT_EQ(ClassifyForm(ParseFormFields("goformId=SwitchFactoryMode")), FormCommand::kOther);
    EXPECT_EQ(ClassifyForm(ParseFormFields("goformid=GetVersion")), FormCommand::kOther);
    EXPECT_EQ(ClassifyForm(ParseFormFields("")), FormCommand::kOther);
}

TEST(FormAnswers, InEachFault)
{
    EXPECT_EQ(ModeQueryAnswer(false, WebFault::kNone), "FACTORYRESULT:CLOSED");
    EXPECT_EQ(ModeQueryAnswer(true, WebFault::kNone), "FACTORYRESULT:OPENED");
    EXPECT_EQ(ModeQueryAnswer(true, WebFault::kLowerCase), "factoryresult:opened");
    EXPECT_EQ(ModeQueryAnswer(true, WebFault::kFail), "FACTORYRESULT:ERROR");
    EXPECT_EQ(SwitchAnswer(true, WebFault::kNone), "SUCCESS");
    EXPECT_EQ(SwitchAnswer(false, WebFault::kNone), "FAILED");
    EXPECT_EQ(SwitchAnswer(true, WebFault::kLowerCase), "success");
    EXPECT_EQ(SwitchAnswer(false, WebFault::kLowerCase), "failed");
    EXPECT_EQ(VersionAnswer("EN_X", WebFault::kNone), "SW_VERSION:EN_X");
    EXPECT_EQ(VersionAnswer("EN_X", WebFault::kLowerCase), "SW_VERSION:EN_X");
    EXPECT_EQ(VersionAnswer("EN_X", WebFault::kFail), "get version fail");
    EXPECT_EQ(OtherFormAnswer(WebFault::kNone), "FAILED");
    EXPECT_EQ(OtherFormAnswer(WebFault::kLowerCase), "failed");
}
