// Two instances of the real tool on one seed folder, each with a key of its
// own, as on two workstations sharing the program's folder.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_test_support.h"
#include "text/unicode_text.h"

namespace {

// Both operators type one serial and click "Save" at the same moment: one
// token is saved, the other form is refused and stays open, and the server
// gets one seed for the serial, every time.
TEST(TwoInstances, OneTypedSerialSavedAtOnceGetsOneSeed) {
  constexpr int kTries = 20;  // one token a try at most on either key, which holds 20
  ToolFolder folder;
  ToolUnderTest first(folder, folder.File(L"key-a.xml"));
  ToolUnderTest second(folder, folder.File(L"key-b.xml"));
  ASSERT_TRUE(first.Started() && second.Started());

  for (int attempt = 0; attempt < kTries; ++attempt) {
    SCOPED_TRACE(attempt);
    const std::wstring serial = L"00000001250" + std::to_wstring(10 + attempt);
    CreatedToken a, b;
    const HWND formA = FillNewTokenForm(first, NewTokenChoices{}, a);
    const HWND formB = FillNewTokenForm(second, NewTokenChoices{}, b);
    ASSERT_TRUE(formA && formB);
    // A loaded machine may take longer than the form filler waits: each form
    // must show its seed before "Save", or a refusal could not be told.
    for (const auto& [form, made] : {std::pair<HWND, CreatedToken*>{formA, &a}, {formB, &b}}) {
      ASSERT_TRUE(WaitUntil([&] {
        made->seed = WindowText(GetDlgItem(form, IDC_SEED));
        return made->seed.size() == 40 && IsWindowEnabled(GetDlgItem(form, IDC_SAVE));
      }));
    }
    SetWindowTextRemote(GetDlgItem(formA, IDC_SERIAL_NUMBER), serial);
    SetWindowTextRemote(GetDlgItem(formB, IDC_SERIAL_NUMBER), serial);
    PostCommand(formA, IDC_SAVE);
    PostCommand(formB, IDC_SAVE);
    // A later "Generate" for the seed shows when a refused form is done with
    // its Save; a saved form is gone.
    PostCommand(formA, IDC_GENERATE_SEED);
    PostCommand(formB, IDC_GENERATE_SEED);
    const auto done = [](HWND form, const CreatedToken& made) {
      return !IsWindow(form) || WindowText(GetDlgItem(form, IDC_SEED)) != made.seed;
    };
    ASSERT_TRUE(WaitUntil([&] { return done(formA, a) && done(formB, b); }, 30000));
    const bool savedA = !IsWindow(formA);
    const bool savedB = !IsWindow(formB);
    EXPECT_NE(savedA, savedB) << "exactly one of the two saves goes ahead";

    const std::string serialBytes = Utf8FromUtf16(std::u16string(serial.begin(), serial.end()));
    const std::string xml = folder.ReadBytes(L"hseeds.xml");
    EXPECT_EQ(Occurrences(std::wstring(xml.begin(), xml.end()),
                          L"<serial>" + std::wstring(serialBytes.begin(), serialBytes.end()) + L"</serial>"),
              1);
    const std::string csv = folder.ReadBytes(L"hseeds.csv");
    const std::wstring rows(reinterpret_cast<const wchar_t*>(csv.data()), csv.size() / 2);
    EXPECT_EQ(Occurrences(rows, serial + L","), 1);

    for (const HWND form : {formA, formB}) {
      if (!IsWindow(form)) continue;
      PostCommand(form, IDCANCEL);
      EXPECT_TRUE((savedA ? second : first).WaitForDialogGone(form));
    }
  }
}

}  // namespace
