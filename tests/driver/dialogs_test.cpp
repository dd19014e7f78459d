// The settings dialog and the about box, through the platform stand-in.
#include "driver/dialogs.h"

#include <gtest/gtest.h>

#include "fake_codecs.h"
#include "platform/standin_record.h"

namespace kmqx::testing {
namespace {

class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        standin::ResetRecord();
        id = OpenWithFakes(ICMODE_COMPRESS);
    }
    void TearDown() override {
        Send(id, DRV_CLOSE);
        standin::ResetRecord();
    }
    DWORD_PTR id = 0;
    HWND parent = reinterpret_cast<HWND>(0x1234);
};

TEST_F(DialogsTest, AboutBoxNamesTheProduct) {
    EXPECT_EQ(Send(id, ICM_ABOUT, Ptr(parent)), ICERR_OK);
    const auto& boxes = standin::GetRecord().messageBoxes;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].parent, parent);
    EXPECT_EQ(boxes[0].text, "Corvel Video Codec 1999");
    EXPECT_EQ(boxes[0].caption, "KMQX");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONINFORMATION));
}

TEST_F(DialogsTest, ConfigureFallsBackToTheAboutBoxWhenNoDialogIsCreated) {
    EXPECT_EQ(Send(id, ICM_CONFIGURE, Ptr(parent)), 1);
    const auto& record = standin::GetRecord();
    ASSERT_EQ(record.dialogs.size(), 1u);
    EXPECT_EQ(record.dialogs[0].templateId, 101u);
    EXPECT_NE(record.dialogs[0].module, nullptr) << "the template is in the driver's own module";
    EXPECT_EQ(record.dialogs[0].parent, parent);
    EXPECT_EQ(static_cast<DWORD_PTR>(record.dialogs[0].initParam), id);
    EXPECT_EQ(record.messageBoxes.size(), 1u);

    // DRV_CONFIGURE shows nothing else when the dialog cannot be created.
    EXPECT_EQ(Send(id, DRV_CONFIGURE, Ptr(parent)), 1);
    EXPECT_EQ(record.dialogs.size(), 2u);
    EXPECT_EQ(record.messageBoxes.size(), 1u);
}

TEST_F(DialogsTest, DialogClosesOnOkCancelAndEndSessionAndChangesNothing) {
    CodecSettings before = StateOf(id);
    standin::SetDialogScript({{WM_COMMAND, 1013, 0}, {WM_COMMAND, IDOK, 0}});
    EXPECT_EQ(Send(id, ICM_CONFIGURE, Ptr(parent)), 1);
    const auto& record = standin::GetRecord();
    EXPECT_EQ(record.dialogEndResults, (std::vector<INT_PTR>{IDOK}));
    EXPECT_EQ(static_cast<DWORD_PTR>(record.dialogUserValue), id);
    EXPECT_TRUE(record.messageBoxes.empty());

    standin::SetDialogScript({{WM_ENDSESSION, 0, 0}, {WM_ENDSESSION, 1, 0}});
    EXPECT_EQ(Send(id, DRV_CONFIGURE, Ptr(parent)), 1);
    EXPECT_EQ(record.dialogEndResults, (std::vector<INT_PTR>{IDOK, IDCANCEL}));
    CodecSettings after = StateOf(id);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(before)), 0);

    HWND window = reinterpret_cast<HWND>(0x99);
    EXPECT_EQ(SettingsDialogProc(window, WM_COMMAND, 1000, 0), TRUE);
    EXPECT_EQ(SettingsDialogProc(window, 0x000F /* WM_PAINT */, 0, 0), FALSE);
}

// Commands arrive with a notification code in the high word: only the low
// word names the button, and edit notifications close nothing.
TEST_F(DialogsTest, CommandsAreTakenByTheirLowWord) {
    constexpr WPARAM kEditChanged = 0x0300 << 16;  // EN_CHANGE
    constexpr WPARAM kAccelerator = 1 << 16;       // Escape through the keyboard
    standin::SetDialogScript({{WM_COMMAND, kEditChanged | 1013, 0},
                              {WM_COMMAND, kAccelerator | IDCANCEL, 0},
                              {WM_COMMAND, IDOK, 0}});
    EXPECT_EQ(Send(id, DRV_CONFIGURE, Ptr(parent)), 1);
    EXPECT_EQ(standin::GetRecord().dialogEndResults, (std::vector<INT_PTR>{IDCANCEL}));
    EXPECT_TRUE(standin::GetRecord().messageBoxes.empty());
}

}  // namespace
}  // namespace kmqx::testing
