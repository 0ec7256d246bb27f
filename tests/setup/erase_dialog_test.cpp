// The erase confirmation: its question from the pack around the program's title; only Confirm
// answers yes.
#include "dialog_test_support.h"

#include "app/setup/erase_dialog.h"

#include <QLabel>

using namespace pellucor;
using namespace dialogtest;

namespace {

TEST(EraseCamBox, QuestionAroundTheTitleAndOnlyConfirmSaysYes)
{
    TestHome home;
    DialogContext ctx(home.state);
    for (const char* button : {"cmdConfirm", "cmdCancel", ""}) {
        ModalDriver driver;
        std::string question;
        driver.then<EraseCamBox>([&](EraseCamBox& b) {
            question = child<QLabel>(b, "lblConfirmMSG").text().toStdString();
            if (*button)
                clickLater(b, button);
            else
                later([&b] { b.close(); });
        });
        const bool yes = confirmEraseSlot(ctx, nullptr);
        EXPECT_EQ(yes, std::string(button) == "cmdConfirm") << button;
        EXPECT_EQ(question, "Remove this camera from Pellucor SE ? Its slot will be empty.");
    }
}

} // namespace
