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

// Another program holds both seed files of the token's kind open while
// "Save" checks a serial they hold, the key having been reset since: without
// sharing (what cannot be read refuses the save once waited for) or for
// writing, as an editor does (the files are told unchanged). Either way the
// key is not written, and once they are let go the serial is refused as in
// use: the server never gets a second seed for it.
TEST(TwoInstances, SerialInFilesAnotherProgramHoldsIsNeverSavedAgain) {
  const struct Case {
    const char* name;
    DWORD access;
    DWORD sharing;
  } cases[] = {
      {"held without sharing", GENERIC_READ, 0},
      {"held for writing", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ToolFolder folder;
    ToolUnderTest tool(folder);
    ASSERT_TRUE(tool.Started());
    const CreatedToken first = CreateToken(tool, NewTokenChoices{});
    ASSERT_TRUE(first.formClosed);
    ASSERT_EQ(0, folder.VirtualKey(L"reset"));  // only the files hold it now
    std::string keyBefore;
    ASSERT_EQ(0, folder.VirtualKey(L"show", &keyBefore));

    CreatedToken again;
    const HWND form = FillNewTokenForm(tool, NewTokenChoices{}, again);
    ASSERT_NE(nullptr, form);
    SetWindowTextRemote(GetDlgItem(form, IDC_SERIAL_NUMBER), first.serial);
    // A later "Generate" for the seed shows when the form is done with its Save.
    const auto save = [&] {
      const std::wstring before = WindowText(GetDlgItem(form, IDC_SEED));
      PostCommand(form, IDC_SAVE);
      PostCommand(form, IDC_GENERATE_SEED);
      return WaitUntil([&] { return !IsWindow(form) || WindowText(GetDlgItem(form, IDC_SEED)) != before; }, 30000);
    };
    {
      const auto hold = [&](const wchar_t* name) {
        return ScopedHandle(CreateFileW(folder.File(name).c_str(), c.access, c.sharing, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
      };
      const ScopedHandle xml = hold(L"hseeds.xml");
      const ScopedHandle csv = hold(L"hseeds.csv");
      ASSERT_TRUE(xml.Valid() && csv.Valid());
      ASSERT_TRUE(save());
      ASSERT_TRUE(IsWindow(form)) << "the save went ahead while the files were held";
    }
    ASSERT_TRUE(save());
    ASSERT_TRUE(IsWindow(form)) << "a serial the files hold was saved again";
    PostCommand(form, IDCANCEL);
    EXPECT_TRUE(tool.WaitForDialogGone(form));

    std::string keyAfter;
    ASSERT_EQ(0, folder.VirtualKey(L"show", &keyAfter));
    EXPECT_EQ(keyAfter, keyBefore);
    const std::string xml = folder.ReadBytes(L"hseeds.xml");
    EXPECT_EQ(Occurrences(std::wstring(xml.begin(), xml.end()), L"<serial>" + first.serial + L"</serial>"), 1);
    const std::string csv = folder.ReadBytes(L"hseeds.csv");
    const std::wstring rows(reinterpret_cast<const wchar_t*>(csv.data()), csv.size() / 2);
    EXPECT_EQ(Occurrences(rows, first.serial + L","), 1);
  }
}

}  // namespace
