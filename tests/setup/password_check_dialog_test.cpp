// The password check against known values: exact comparison, ID first, retries without limit.
#include "dialog_test_support.h"

#include "app/setup/password_check_dialog.h"

#include <QLineEdit>

using namespace pellucor;
using namespace dialogtest;

namespace {

TEST(PasswordCheckDialog, ExactValuesPassOthersGetTheirMessageAndAnotherTry)
{
    TestHome home;
    ScriptedPrompts prompts;
    DialogContext ctx(home.state);
    ctx.prompts = &prompts;
    PasswordCheckValues v;
    v.ExpectedID = "admin";
    v.ExpectedPassword = "pw";
    PasswordCheckDialog d(ctx, v, nullptr);
    d.show();
    struct Try
    {
        const char* id;
        const char* password;
        int message; // 0: accepted
    };
    const Try tries[] = {{"admin ", "pw", 2}, {"admin", "pw ", 1}, {"Admin", "x", 2}, {"admin", "pw", 0}};
    for (const Try& t : tries) {
        prompts.boxes.clear();
        child<QLineEdit>(d, "txtAdminID").setText(t.id);
        child<QLineEdit>(d, "txtPassword").setText(t.password);
        click(d, "cmdOK");
        if (t.message) {
            ASSERT_EQ(prompts.boxes.size(), 1u) << t.id;
            EXPECT_EQ(prompts.boxes[0].text, d.texts().message(t.message).toStdString());
            EXPECT_TRUE(d.isVisible());
            EXPECT_FALSE(v.PasswordOK);
        } else {
            EXPECT_TRUE(prompts.boxes.empty());
            EXPECT_TRUE(v.PasswordOK);
            EXPECT_FALSE(v.Cancelled);
            EXPECT_FALSE(d.isVisible());
        }
    }
}

TEST(PasswordCheckDialog, CloseBoxCancels)
{
    TestHome home;
    DialogContext ctx(home.state);
    ModalDriver driver;
    driver.then<PasswordCheckDialog>([](PasswordCheckDialog& d) { later([&d] { d.close(); }); });
    EXPECT_FALSE(checkKnownPassword(ctx, "", "", nullptr));
    EXPECT_TRUE(driver.done());
}

} // namespace
