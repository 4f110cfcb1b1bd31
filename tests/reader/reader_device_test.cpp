// The reader device inside the library: how its line handler turns assembled
// lines into events (and when it must not), its model, its result texts and
// its settings dialog. The port side is left out: lines are handed over the
// way the port manager hands them.
#include <gtest/gtest.h>

#include <thread>

#include "host/exec_mode.h"
#include "reader/manager_scanner_ra03v.h"
#include "support/dll_under_test.h"
#include "ui/dialog_driver.h"
#include "ui/port_settings_ids.h"

namespace ra03v::test {
namespace {

TEST(CardData, CutExactlyAsTheReaderSendsThem) {
  struct Case {
    std::string line;
    bool card;
    std::string data;
  };
  const Case cases[] = {
      {"0123ABCD\r\n", true, "0123ABCD"},
      {"123\r\n", true, "123\r\n"},
      {"1234567890ABCDEF\r\n", true, "12345678"},
      {"OK\r\n", false, ""},
      {"OK\r\n0123ABCD\r\n", true, "0123ABCD"},
      // Only the first "OK" CR LF goes; a second one is card data.
      {"OK\r\nOK\r\n", true, "OK\r\n"},
      {"AB\r\nOK\r\n", true, "AB\r\n"},
      {"    \r\n", false, "    \r\n"},
      {"\t \x01\r\n", false, "\t \x01\r\n"},
      {"", false, ""},
      {" 12 \r\n", true, " 12 \r\n"},
  };
  for (const Case& c : cases) {
    std::string data = "left over";
    EXPECT_EQ(c.card, CutCardData(c.line, data)) << c.line;
    EXPECT_EQ(c.data, data) << c.line;
  }
}

// One reader in its own list, with the test host's event interface.
class ReaderDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    list.SetEventSink(sink.Interface());
    reader = &static_cast<TManagerScanner_RA03V&>(list.AppendDevice());
    SetExecutionMode(ExecutionMode::PlugIn);
  }
  void TearDown() override { SetExecutionMode(ExecutionMode::PlugIn); }

  // Hands one assembled line to the reader as the port manager does.
  void Deliver(const std::string& line, const std::string& tagged = "1|") {
    reader->PortManager().SetListening(true);
    reader->PortManager().SetLineBuffer(line);
    reader->LineReceived((tagged + line).c_str());
  }

  ra03v_host::EventSink sink;
  TManagerScanner_RA03VList list;
  TManagerScanner_RA03V* reader = nullptr;
};

TEST_F(ReaderDevice, ALineBecomesOneEventWithTheDevicesCode) {
  Deliver("0123ABCD\r\n");
  ASSERT_EQ(1u, sink.EventCount());
  const ra03v_host::ExternalEvent e = sink.Events()[0];
  EXPECT_EQ(L"Считыватель", e.name);
  EXPECT_EQ(L"0123ABCD", e.data);
  EXPECT_TRUE(IsEqualGUID(reader->DeviceCode(), e.deviceId));
  wchar_t text[40];
  StringFromGUID2(reader->DeviceCode(), text, 40);
  EXPECT_EQ(text, e.deviceIdText);
  EXPECT_EQ(38u, e.deviceIdText.size());
  EXPECT_EQ("", reader->PortManager().LineBuffer()) << "the line is consumed";
}

TEST_F(ReaderDevice, LinesThatMustNotReachTheHost) {
  // While switching, lines are dropped and the buffer emptied.
  reader->PortManager().SetLineBuffer("0123ABCD\r\n");
  reader->PortManager().SetListening(false);
  reader->LineReceived("1|0123ABCD\r\n");
  EXPECT_EQ("", reader->PortManager().LineBuffer());
  // A tag that is not a number, or none at all, ends the handling.
  Deliver("0123ABCD\r\n", "x|");
  Deliver("0123ABCD\r\n", "");
  Deliver("OK\r\n");
  Deliver("   \r\n");
  EXPECT_EQ(0u, sink.EventCount());
  Deliver("55555555\r\n", "2|");
  EXPECT_EQ(1u, sink.EventCount()) << "any number is a tag";
}

TEST_F(ReaderDevice, ComponentModesConsumeLinesWithoutEvents) {
  for (ExecutionMode mode : {ExecutionMode::AutomationHost1, ExecutionMode::AutomationHost2}) {
    SetExecutionMode(mode);
    Deliver("0123ABCD\r\n");
    EXPECT_EQ("", reader->PortManager().LineBuffer());
  }
  EXPECT_EQ(0u, sink.EventCount());
  for (ExecutionMode mode : {ExecutionMode::NotSet, ExecutionMode::PlugIn}) {
    SetExecutionMode(mode);
    Deliver("0123ABCD\r\n");
  }
  EXPECT_EQ(2u, sink.EventCount());
}

TEST_F(ReaderDevice, NoEventInterfaceIsNoFailure) {
  TManagerScanner_RA03VList bare;
  auto& lonely = static_cast<TManagerScanner_RA03V&>(bare.AppendDevice());
  lonely.PortManager().SetListening(true);
  lonely.PortManager().SetLineBuffer("0123ABCD\r\n");
  EXPECT_NO_THROW(lonely.LineReceived("1|0123ABCD\r\n"));
}

TEST_F(ReaderDevice, SetUpBeforeSwitchingOn) {
  reader->SetPropertyInt(std::string(kPollIntervalProp), 1000);
  TDeviceItem& second = list.AppendDevice();
  second.SetupPortManager();
  reader->SetupPortManager();
  EXPECT_EQ(500, reader->GetPropertyInt(std::string(kPollIntervalProp)));
  EXPECT_EQ(500u, reader->PollTimer().Interval());
  EXPECT_FALSE(reader->PollTimer().Enabled()) << "set up, not started";
  EXPECT_EQ("1", reader->PortManager().DeviceTag());
  EXPECT_EQ("2", second.PortManager().DeviceTag());
  EXPECT_EQ(1, reader->PortManager().Settings().keepOpen);
}

TEST(ReaderSilence, OnlyAReaderThatAnsweredIsLostAfterFourSilentPolls) {
  TSilenceWatch watch;
  watch.Start(10, false);
  for (int poll = 0; poll < 8; ++poll) EXPECT_FALSE(watch.SilentTooLong(10)) << "never answered";
  EXPECT_FALSE(watch.SilentTooLong(14));  // the first answer
  EXPECT_FALSE(watch.SilentTooLong(14));
  EXPECT_FALSE(watch.SilentTooLong(14));
  EXPECT_FALSE(watch.SilentTooLong(18)) << "a byte starts the count again";
  for (int poll = 1; poll < TSilenceWatch::kSilentPollsForLoss; ++poll)
    EXPECT_FALSE(watch.SilentTooLong(18)) << poll;
  EXPECT_TRUE(watch.SilentTooLong(18));
  watch.Start(18, true);  // recovered: it has answered
  for (int poll = 1; poll < TSilenceWatch::kSilentPollsForLoss; ++poll) watch.SilentTooLong(18);
  EXPECT_TRUE(watch.SilentTooLong(18));
}

TEST(ReaderModel, IdentityPropertiesAndTexts) {
  TManagerScanner_RA03VList list;
  EXPECT_EQ("Проксимити считыватель RA-03V\\RS232", list.ModelDescription());
  EXPECT_EQ("Проксимити_Cчитыватель", list.ModelIdentifier());
  EXPECT_EQ('C', list.ModelIdentifier()[std::string("Проксимити_").size()]) << "Latin C";
  EXPECT_EQ("Проксимити_Cчитыватель_", list.NamePrefix());
  EXPECT_EQ("Сканер", list.ClassName());
  const std::array<int32_t, 5> info{1, 1, 1, 1, 0};
  EXPECT_EQ(info, list.PlgInfoValues());

  const char* order[] = {"Использовать", "Неразделяемое",  "ComNumber",      "Baud",
                         "DataBits",     "StopBits",       "Parity",         "IsOpen",
                         "ИнтервалОпроса", "Переподключение", "СобытияСвязи",
                         "ПодавлениеПовторов", "Трассировка"};
  const TPropList& templates = list.PropTemplates();
  ASSERT_EQ(13, templates.Count());
  for (int i = 0; i < 13; ++i) EXPECT_EQ(order[i], templates.Item(i).Identifier());
  EXPECT_EQ("1", templates.Find("Переподключение")->Default());
  EXPECT_EQ("0", templates.Find("СобытияСвязи")->Default());
  EXPECT_EQ("Integer", templates.Find("СобытияСвязи")->Type());
  EXPECT_FALSE(templates.Find("Переподключение")->ReadOnly());
  EXPECT_EQ("1", templates.Find("IsOpen")->Value());
  EXPECT_TRUE(templates.Find("IsOpen")->ReadOnly());
  EXPECT_EQ("1", templates.Find("Неразделяемое")->Default());
  EXPECT_FALSE(templates.Find("Неразделяемое")->ReadOnly());
  EXPECT_EQ("500", templates.Find("ИнтервалОпроса")->Default());
  EXPECT_EQ("Интервал опроса считывателя", templates.Find("ИнтервалОпроса")->Description());

  EXPECT_EQ("Отмена действия", list.GetErrorText(8));
  EXPECT_EQ("Неверный тип параметра", list.GetErrorText(4));
  EXPECT_EQ("Операция выполнена успешно", list.GetErrorText(50));
  EXPECT_EQ("Неверное количество байт считано из порта", list.GetErrorText(57));
  for (int32_t unknown : {-1, 9, 49, 54, 58, 20000})
    EXPECT_EQ("Неопределенная ошибка", list.GetErrorText(unknown)) << unknown;
}

TEST(RepeatFilter, ASameCodeWaitsForAGapOfTheWholeWindow) {
  RepeatFilter filter;
  uint64_t gap = 0;
  EXPECT_TRUE(filter.Pass("A", 1000, gap));
  EXPECT_TRUE(filter.Pass("A", 1010, gap)) << "no window: every read";
  filter.SetWindow(100);
  EXPECT_FALSE(filter.Pass("A", 1109, gap)) << "the card held when the window came";
  EXPECT_EQ(99u, gap);
  EXPECT_FALSE(filter.Pass("A", 1208, gap)) << "each gap counts, not the time since raised";
  EXPECT_TRUE(filter.Pass("A", 1308, gap)) << "a gap of the whole window";
  EXPECT_TRUE(filter.Pass("B", 1309, gap));
  EXPECT_TRUE(filter.Pass("A", 1310, gap)) << "no longer the last one raised";
  filter.Reset();
  EXPECT_TRUE(filter.Pass("A", 1311, gap));
}

// Opens the reader's settings dialog; user acts on it from a second thread.
void EditSettings(TManagerScanner_RA03V& reader, const std::function<void(DialogUser&)>& user) {
  const DWORD self = GetCurrentThreadId();
  std::thread acting([&] {
    const HWND dialog = WaitForThreadDialog(self);
    ASSERT_NE(nullptr, dialog) << "the settings dialog did not appear";
    DialogUser driver(dialog, self);
    user(driver);
  });
  int32_t result = -1;
  try {
    result = reader.ShowSettingsDialog();
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
    // The acting thread gives up once it finds no dialog.
  }
  acting.join();
  EXPECT_EQ(0, result);
}

TEST_F(ReaderDevice, SettingsDialogOffersOnlyPortAndNameAndCancelRestoresAll) {
  TComPortSennings& record = reader->PortManager().Settings();
  record.portIndex = 2;
  record.baudIndex = 3;
  reader->SetDeviceName("Вход");
  record.deviceIdentifier = "Вход";
  EditSettings(*reader, [](DialogUser& user) {
    EXPECT_TRUE(user.Enabled(IDC_CBPORT));
    EXPECT_TRUE(user.Enabled(IDC_EDIDENTIF));
    EXPECT_FALSE(user.Enabled(IDC_CBPORTOPEN));
    EXPECT_TRUE(user.Checked(IDC_CBPORTOPEN));
    EXPECT_FALSE(user.Enabled(IDC_CBBAUDRATE));
    EXPECT_FALSE(user.Enabled(IDC_CBPARITY));
    user.Select(IDC_CBPORT, 5);
    user.Type(IDC_EDIDENTIF, L"Выход");
    user.Click(IDCANCEL);
  });
  EXPECT_EQ(2, record.portIndex);
  EXPECT_EQ(3, record.baudIndex);
  EXPECT_EQ("Вход", record.deviceIdentifier);
  EXPECT_EQ("Вход", reader->DeviceName());

  EditSettings(*reader, [](DialogUser& user) {
    user.Select(IDC_CBPORT, 5);
    user.Click(IDOK);
  });
  EXPECT_EQ(5, record.portIndex);
  EXPECT_EQ(1, record.keepOpen) << "the reader's port stays locked";
}

}  // namespace
}  // namespace ra03v::test
