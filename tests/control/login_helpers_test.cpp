// The credential block the control builds from its own user name and password.
#include "camproto/login_transform.h"
#include "control/cimage.h"

#include <gtest/gtest.h>

using namespace tessivor;

TEST(CredentialBlock, BuiltFromTheStoredUserNameAndPassword)
{
    CImage control;
    control.put_UserName("ab");
    control.put_Password("passwordLONG");
    EXPECT_EQ(control.BuildCredentialBlock(), camproto::makeCredentialBlock("ab", "passwordLONG"));
}
