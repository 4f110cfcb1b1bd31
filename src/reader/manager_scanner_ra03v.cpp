#include "reader/manager_scanner_ra03v.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "devices/number_text.h"
#include "devices/prop_descriptor.h"
#include "devices/text_compare.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "foundation/win/bstr.h"
#include "foundation/win/scope_exit.h"
#include "host/exec_mode.h"
#include "ra03v/host_contract.h"
#include "ui/device_settings_dialog.h"
#include "ui/port_settings_dialog.h"

namespace ra03v {

namespace {

constexpr std::string_view kLineTerminator = "\r\n";
constexpr std::string_view kOkLine = "OK\r\n";
constexpr DWORD kReplyTimeoutMs = 100;
// A lost reader's port is tried about once a second; a reader that is there
// answers the try's "n" within twice the reply time even on a busy machine
// (one that answers later is taken up at the next try).
constexpr DWORD kRecoveryIntervalMs = 1000;
constexpr DWORD kProbeAnswerMs = 2 * kReplyTimeoutMs;
// Codes from this value on are the port manager's, looked up at code minus it.
constexpr int32_t kPortCodeBase = 50;

constexpr TPropDescriptor kReaderRows[] = {
    {"ИнтервалОпроса", "", "Интервал опроса", "Integer", 0, "500", "Интервал опроса считывателя"},
    {"Переподключение", "", "Переподключение", "Integer", 0, "1",
     "Восстанавливать связь со считывателем после ее потери\r\n"
     "Допустимые значения: 1 - восстанавливать, 0 - нет"},
    {"СобытияСвязи", "", "События связи", "Integer", 0, "0",
     "Сообщать о потере и восстановлении связи со считывателем\r\n"
     "Допустимые значения: 1 - сообщать, 0 - нет"},
    {"ПодавлениеПовторов", "", "Подавление повторов", "Integer", 0, "0",
     "Время подавления повторного чтения той же карты, мс\r\n"
     "Допустимые значения: 0 - передавать каждое чтение, больше 0 - та же карта передается снова, "
     "когда ее не было дольше этого времени; другая карта передается сразу"},
    {"Трассировка", "", "Трассировка", "Integer", 0, "0",
     "Запись обмена со считывателем в файл журнала\r\n"
     "Допустимые значения: 0 - не записывать, 1 - записывать"},
};
constexpr const TPropDescriptor& kPollIntervalRow = kReaderRows[0];
constexpr const TPropDescriptor& kReconnectRow = kReaderRows[1];
constexpr const TPropDescriptor& kLinkEventsRow = kReaderRows[2];

constexpr std::array<std::string_view, 9> kReaderTexts = {
    "Операция выполнена успешно",
    "Порт недоступен",
    "Нет связи",
    "Устройство не обнаружено",
    "Неверный тип параметра",
    "Недопустимое значение параметра",
    "Ошибка в данных",
    "Внутренняя ошибка",
    "Отмена действия",
};

// The port manager's texts; an empty entry has no text of its own.
constexpr std::array<std::string_view, 8> kPortTexts = {
    "Операция выполнена успешно",
    "Порт недоступен",
    "Нет связи",
    "Устройство не обнаружено",
    "",
    "Внутренняя ошибка",
    "Неверное количество байт записано в порт",
    "Неверное количество байт считано из порта",
};

constexpr std::string_view kUndefinedError = "Неопределенная ошибка";

// {C7C345A0-2C38-411D-AE5B-CEA387564725}
constexpr GUID kModelCode = {
    0xC7C345A0, 0x2C38, 0x411D, {0xAE, 0x5B, 0xCE, 0xA3, 0x87, 0x56, 0x47, 0x25}};

// Card bytes come from the reader, not from this library's texts: they are
// read in the system's code page, as the host's other texts are.
std::wstring CardTextToWide(std::string_view card) {
  if (card.empty()) return {};
  const int size = static_cast<int>(card.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, card.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, card.data(), size, wide.data(), length);
  return wide;
}

// A person's value: anything that is not a number counts as 0, so that a
// mistyped option never fails a switch-on.
int32_t OptionValue(const std::string& text) { return StrToIntDef(text, 0); }

bool IsBlank(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) > 32) return false;
  return true;
}

}  // namespace

bool IsNoiseEndedByPollReply(std::string_view line, size_t pendingAtPoll) {
  return pendingAtPoll > 0 && pendingAtPoll < line.size() &&
         line.substr(pendingAtPoll) == kOkLine;
}

void TSilenceWatch::Start(uint64_t bytes, bool answered) noexcept {
  lastBytes_ = bytes;
  answered_ = answered;
  silentPolls_ = 0;
}

bool TSilenceWatch::SilentTooLong(uint64_t bytes) noexcept {
  if (bytes != lastBytes_) {
    lastBytes_ = bytes;
    answered_ = true;
    silentPolls_ = 0;
    return false;
  }
  return answered_ && ++silentPolls_ >= kSilentPollsForLoss;
}

bool CutCardData(std::string line, std::string& card) {
  const size_t ok = line.find(kOkLine);
  if (ok != std::string::npos) line.erase(ok, kOkLine.size());
  // Not trimmed: a short line keeps its terminator.
  card = line.substr(0, kCardDataLength);
  return !IsBlank(card);
}

TManagerScanner_RA03V::TManagerScanner_RA03V(TDevicesList& list)
    : TDeviceItem(list),
      FPollTimer(0, [this] { PollTick(); }),
      FRecoveryTimer(kRecoveryIntervalMs, [this] { RecoveryTick(); }) {
  PortManager().Settings().keepOpen = 1;
  PortManager().SetTrafficObserver(
      [this](TPortManager::Traffic kind, std::string_view bytes) { TraceTraffic(kind, bytes); });
}

TManagerScanner_RA03V::~TManagerScanner_RA03V() {
  FPollTimer.SetEnabled(false);
  FRecoveryTimer.SetEnabled(false);
  // No line may reach this item once its timer is gone.
  ClosePortNow();
}

void TManagerScanner_RA03V::SetupPortManager() {
  TPortManager& pm = PortManager();
  pm.SetListening(false);
  pm.SetReplyTimeout(kReplyTimeoutMs);
  pm.SetDeviceTag(std::to_string(Index() + 1));
  pm.ClearIgnoredChars();
  pm.SetLineBuffer("");
  pm.ClearLineHandlers();
  pm.AddLineHandler(std::string(kLineTerminator), static_cast<TDeviceItem*>(this),
                    &TDeviceItem::LineProcedureOf);
  // The interval is always the descriptor's default, whatever was stored.
  SetPropertyInt(kPollIntervalProp, StrToInt(kPollIntervalRow.Default));
  FPollTimer.SetInterval(static_cast<DWORD>(GetPropertyInt(kPollIntervalProp)));
  FReconnect = IntPropertyOr(kReconnectProp, StrToInt(kReconnectRow.Default)) != 0;
  FLinkEvents = IntPropertyOr(kLinkEventsProp, StrToInt(kLinkEventsRow.Default)) == 1;
  ApplyReaderOptions();
  FRepeats.Reset();
  FTrace.SetDevice(Index() + 1, DeviceCode());
}

void TManagerScanner_RA03V::SetProperty(std::string_view name, std::string_view value) {
  TDeviceItem::SetProperty(name, value);
  if (SameText(name, kRepeatWindowProp) || SameText(name, kTraceProp)) ApplyReaderOptions();
}

void TManagerScanner_RA03V::ApplyReaderOptions() noexcept {
  try {
    FRepeats.SetWindow(
        static_cast<uint32_t>(std::max(0, OptionValue(GetProperty(kRepeatWindowProp)))));
    FTrace.SetEnabled(OptionValue(GetProperty(kTraceProp)) == 1);
  } catch (...) {
    // Out of memory reading a property: the options stay as they were.
  }
}

void TManagerScanner_RA03V::TraceTraffic(TPortManager::Traffic kind,
                                         std::string_view bytes) noexcept {
  switch (kind) {
    case TPortManager::Traffic::Written:
      FTrace.Written(bytes);
      break;
    case TPortManager::Traffic::WriteFailed:
      FTrace.WriteFailed(bytes);
      break;
    case TPortManager::Traffic::Received:
      FTrace.Received(bytes);
      break;
  }
}

std::string TManagerScanner_RA03V::PortResultText(int32_t code) {
  return GetErrorText(code >= kPortCodeBase ? code : kPortCodeBase + code);
}

void TManagerScanner_RA03V::TraceSwitchedOn(bool ok, int32_t portResult) noexcept {
  if (!FTrace.Enabled()) return;
  try {
    const std::optional<int> port = TableValue(kPortNumbers, PortManager().Settings().portIndex);
    const std::string name = port ? "COM" + std::to_string(*port) : "(порт не задан)";
    const int32_t code = ok ? kResultOk : LastResult();
    std::string text = GetErrorText(code);
    if (!ok) text += ", порт: " + std::to_string(portResult) + " " + PortResultText(portResult);
    FTrace.SwitchedOn(name, code, text);
  } catch (...) {
  }
}

void TManagerScanner_RA03V::TraceSwitchedOff() noexcept {
  if (!FTrace.Enabled()) return;
  try {
    const int32_t code = PortManager().LastError();
    FTrace.SwitchedOff(code, PortResultText(code));
  } catch (...) {
  }
}

int32_t TManagerScanner_RA03V::IntPropertyOr(std::string_view name, int32_t fallback) {
  try {
    return GetPropertyInt(name);
  } catch (...) {
    return fallback;
  }
}

void TManagerScanner_RA03V::SendInitSequence() {
  TPortManager& pm = PortManager();
  std::string reply;
  pm.AddCommand(true, 1, "n");
  pm.AddCommand(false, 4, "");
  pm.Execute(reply);
  pm.AddCommand(true, 1, "k");
  pm.AddCommand(false, 999, "");
  pm.Execute(reply);
}

void TManagerScanner_RA03V::SendStopCommand() noexcept {
  try {
    std::string reply;
    PortManager().AddCommand(true, 1, "f");
    PortManager().Execute(reply);
  } catch (...) {
    // The reader is being switched off either way.
  }
}

void TManagerScanner_RA03V::StopTimers() noexcept {
  try {
    FPollTimer.SetEnabled(false);
    FRecoveryTimer.SetEnabled(false);
  } catch (...) {
  }
}

void TManagerScanner_RA03V::PollTick() {
  FPollTimer.SetEnabled(false);
  // A device being freed (by a handler on its event thread, say) polls no more;
  // one being polled is not freed until the poll is over.
  if (!EnterOwnWork()) return;
  const ScopeExit leave([this] { LeaveOwnWork(); });
  TPortManager& pm = PortManager();
  // Another host thread switching the reader meanwhile makes the port's
  // failures its own: they are no loss.
  const uint32_t epoch = FLinkEpoch;
  // Bytes of a port that is closed between polls are mostly never read, so
  // only a port held open can tell a silent reader.
  if (FReconnect && pm.Listening() && pm.Settings().keepOpen &&
      FSilence.SilentTooLong(pm.BytesReceived())) {
    OnLost(LossCause::kSilent);
    return;
  }
  try {
    std::string reply;
    pm.AddCommand(true, 1, "k");
    pm.Execute(reply);
  } catch (...) {
    // One lost poll; the next tick tries again.
  }
  // Switching off during the write's message loop stops the polling for good.
  if (!pm.ConnectedFlag()) return;
  if (FReconnect && pm.Listening() && epoch == FLinkEpoch && PortFailed()) {
    OnLost(LossCause::kPortFailed);
    return;
  }
  FPollTimer.SetEnabled(true);
}

bool TManagerScanner_RA03V::PortFailed() {
  TPortManager& pm = PortManager();
  switch (pm.LastError()) {
    case kPmOpenFailed:
    case kPmNotAnswered:
    case kPmPortClosed:
    case kPmRunFailed:
      return true;
    default:
      break;
  }
  // The event thread ends by itself only when the device failed under it.
  const TComPort& port = pm.Support().Port();
  return pm.Settings().keepOpen && (!port.Connected() || port.ThreadEnded());
}

void TManagerScanner_RA03V::OnLost(LossCause cause) {
  FPollTimer.SetEnabled(false);
  FLost = true;
  FProbing = false;
  FRecoveryTries = 0;
  SetLastResult(kResultNoLink);
  FTrace.Lost(cause == LossCause::kSilent ? "4 опроса без ответа" : "отказ порта");
  // Let go at once: an adapter that is plugged in again gets its name back
  // only once nobody holds the old device.
  PortManager().ReleaseLost();
  ScheduleRecovery(kRecoveryIntervalMs);
  // Last: the host may switch the reader from its handler.
  if (FLinkEvents) RaiseHostEvent(kStatusEventName, Text1251ToWide(kLinkLostData));
}

void TManagerScanner_RA03V::ScheduleRecovery(DWORD afterMs) {
  FRecoveryTimer.SetInterval(afterMs);
  FRecoveryTimer.SetEnabled(true);
}

void TManagerScanner_RA03V::RecoveryTick() {
  FRecoveryTimer.SetEnabled(false);
  // As a poll: a device being freed tries no more, one trying is not freed meanwhile.
  if (!EnterOwnWork()) return;
  const ScopeExit leave([this] { LeaveOwnWork(); });
  // Not while another host thread switches the reader (it ends the loss).
  if (!FLost || !PortManager().Listening()) {
    if (FLost) ScheduleRecovery(kRecoveryIntervalMs);
    return;
  }
  if (FProbing)
    OnProbeAnswerDue();
  else
    OnRecoveryTry();
}

void TManagerScanner_RA03V::OnRecoveryTry() {
  TPortManager& pm = PortManager();
  const uint32_t epoch = FLinkEpoch;
  const int attempt = ++FRecoveryTries;
  if (pm.OpenForTry()) {
    // Nothing waits here for the answer: it is looked for at the next tick.
    FBytesAtProbe = pm.BytesReceived();
    try {
      std::string reply;
      pm.AddCommand(true, 1, "n");
      pm.Execute(reply);
    } catch (...) {
    }
    if (epoch != FLinkEpoch) return;  // switched while the write ran
    if (!PortFailed()) {
      FTrace.RecoveryTry(attempt, "порт открыт, запрос \"n\" отправлен");
      FProbing = true;
      ScheduleRecovery(kProbeAnswerMs);
      return;
    }
    FTrace.RecoveryTry(attempt, "запрос не отправлен");
    pm.ReleaseLost();
  } else {
    FTrace.RecoveryTry(attempt, "порт не открыт");
  }
  ScheduleRecovery(kRecoveryIntervalMs);
}

void TManagerScanner_RA03V::OnProbeAnswerDue() {
  FProbing = false;
  TPortManager& pm = PortManager();
  if (pm.BytesReceived() != FBytesAtProbe && !PortFailed()) {
    OnRecovered();
    return;
  }
  FTrace.RecoveryTry(FRecoveryTries, "нет ответа");
  pm.ReleaseLost();
  ScheduleRecovery(kRecoveryIntervalMs - kProbeAnswerMs);
}

void TManagerScanner_RA03V::OnRecovered() {
  TPortManager& pm = PortManager();
  const uint32_t epoch = FLinkEpoch;
  // As at switch-on: lines answering the init commands are no cards.
  pm.SetListening(false);
  try {
    SendInitSequence();
  } catch (...) {
  }
  if (epoch != FLinkEpoch) return;
  pm.SetListening(true);
  if (PortFailed()) {
    pm.ReleaseLost();
    ScheduleRecovery(kRecoveryIntervalMs);
    return;
  }
  FSilence.Start(pm.BytesReceived(), true);
  FLost = false;
  SetLastResult(kResultOk);
  FTrace.Recovered();
  FPollTimer.SetEnabled(true);
  if (FLinkEvents) RaiseHostEvent(kStatusEventName, Text1251ToWide(kLinkBackData));
}

void TManagerScanner_RA03V::EndLoss() noexcept {
  FRecoveryTimer.SetEnabled(false);
  ++FLinkEpoch;
  FProbing = false;
  if (FLost.exchange(false)) PortManager().ReleaseLost();
}

int32_t TManagerScanner_RA03V::ReportedResult() const noexcept {
  return FLost ? kResultNoLink : TDeviceItem::ReportedResult();
}

bool TManagerScanner_RA03V::DeviceOpen() {
  const bool ok = PortManager().Connect();
  if (ok) {
    SendInitSequence();
    FPollTimer.SetEnabled(true);
  }
  return ok;
}

bool TManagerScanner_RA03V::DeviceClose() {
  // Stopped first, so that no poll runs inside the stop command's message loop.
  FPollTimer.SetEnabled(false);
  // A lost reader is not sent the stop command: its port stays closed.
  const bool wasLost = FLost;
  EndLoss();
  if (!wasLost) SendStopCommand();
  return TDeviceItem::DeviceClose();
}

void TManagerScanner_RA03V::SetDeviceActive(int32_t mode) {
  TPortManager& pm = PortManager();
  if (mode == 1) {
    // Switching on again ends a loss: the host's switch-on decides afresh.
    EndLoss();
    SetupPortManager();
    pm.SetListening(false);
    // The init sequence's answers count: a reader that answered them has spoken.
    FSilence.Start(pm.BytesReceived(), false);
    bool ok = false;
    const bool nested = std::exchange(FSwitchingOn, true);
    try {
      ok = DeviceOpen();
    } catch (...) {
      // A failed open step (an abort, say) must not leave a polling port behind.
      pm.SetListening(true);
      SetDeviceActive(0);
      FSwitchingOn = nested;
      TraceSwitchedOn(false, pm.LastError());
      throw;
    }
    const int32_t portResult = pm.LastError();
    pm.SetListening(true);
    pm.SetConnected(ok);
    if (!ok) SetDeviceActive(0);
    FSwitchingOn = nested;
    if (!pm.Settings().keepOpen) pm.Disconnect(true);
    if (!ok) SetLastResult(kResultNoDevice);
    TraceSwitchedOn(ok, portResult);
    return;
  }
  pm.SetListening(false);
  DeviceClose();
  if (!FSwitchingOn) TraceSwitchedOff();
  pm.SetListening(true);
  pm.SetConnected(false);
  pm.Disconnect(true);
}

void TManagerScanner_RA03V::LineReceived(const char* text) {
  // A line that cannot be handled is simply no card; nothing reaches the host.
  try {
    HandleLine(text ? text : "");
  } catch (...) {
  }
}

void TManagerScanner_RA03V::HandleLine(std::string_view whole) {
  TPortManager& pm = PortManager();
  if (!pm.Listening()) {
    pm.SetLineBuffer("");
    return;
  }
  const size_t bar = whole.find('|');
  if (bar == std::string_view::npos) return;
  StrToInt(whole.substr(0, bar));  // a tag that is not a number ends the call
  size_t pendingAtPoll = 0;
  const std::string line = pm.LineBuffer(pendingAtPoll);
  pm.SetLineBuffer("");
  // Text left unfinished when a poll went out, that the poll's own reply
  // then ended, is noise on the line (a reader powering up, a loose contact),
  // not a card. A line the poll cut whose rest came after it stays whole.
  if (IsNoiseEndedByPollReply(line, pendingAtPoll)) return;
  std::string card;
  if (!CutCardData(line, card)) return;
  const ExecutionMode mode = CurrentExecutionMode();
  if (mode == ExecutionMode::AutomationHost1 || mode == ExecutionMode::AutomationHost2) return;
  uint64_t gap = 0;
  if (!FRepeats.Pass(card, GetTickCount64(), gap)) {
    FTrace.CardSuppressed(card, gap);
    return;
  }
  FTrace.CardRaised(card);
  RaiseCardEvent(card);
}

void TManagerScanner_RA03V::RaiseCardEvent(const std::string& card) {
  RaiseHostEvent(kReaderEventName, CardTextToWide(card));
}

// Card events come from the port's event thread, status events from the
// host's own thread: both reach the same slot of the host's interface.
void TManagerScanner_RA03V::RaiseHostEvent(std::string_view eventName, const std::wstring& text) {
  IDispatch* sink = HostEventSink();
  if (!sink) return;
  const ExecutionMode mode = CurrentExecutionMode();
  if (mode == ExecutionMode::AutomationHost1 || mode == ExecutionMode::AutomationHost2) return;
  const GUID code = DeviceCode();
  const Bstr name = Bstr::From1251(eventName);
  const Bstr codeText = Bstr::From1251(GuidToText(code));
  const Bstr data = Bstr::Copy(text);
  auto** table = *reinterpret_cast<void***>(sink);
  const auto raise = reinterpret_cast<RA03V_EXTERNAL_EVENT>(table[RA03V_EVENT_SLOT_EXTERNAL_EVENT]);
  raise(sink, name.Get(), codeText.Get(), data.Get(), &code);
}

int32_t TManagerScanner_RA03V::ShowSettingsDialog() {
  // The dialog edits the record in place; Cancel must leave it as it was.
  const TComPortSennings saved = PortManager().Settings();
  int result = 0;
  try {
    result = RunDeviceSettingsDialog(*this, false);
  } catch (...) {
    PortManager().Settings() = saved;
    throw;
  }
  if (result != IDOK) PortManager().Settings() = saved;
  return 0;
}

void TManagerScanner_RA03V::PrepareSettingsDialog() {
  TDeviceItem::PrepareSettingsDialog();
  TfmPortSettings2* dialog = CurrentSettingsDialog();
  if (!dialog) return;
  dialog->DisableFixedSettings();
  dialog->SetControlEnabled(IDC_CBPORTOPEN, false);
  dialog->SetChecked(IDC_CBPORTOPEN, true);
  dialog->SetControlEnabled(IDC_CBPORT, true);
  dialog->SetControlEnabled(IDC_EDIDENTIF, true);
}

TManagerScanner_RA03VList::TManagerScanner_RA03VList()
    : TDevicesList([](TDevicesList& list) -> std::unique_ptr<TDeviceItem> {
        return std::make_unique<TManagerScanner_RA03V>(list);
      }) {
  SetModelCode(kModelCode);
  SetModelDescription("Проксимити считыватель RA-03V\\RS232");
  PlgInfoValues() = {1, 1, 1, 1, 0};
  // The letter after the underscore is the Latin C.
  SetModelIdentifier("Проксимити_Cчитыватель");
  SetNamePrefix(ModelIdentifier() + "_");
  SetClassName("Сканер");
  SetClassGroupName("Сканеры");
  SetPropertyGroups(true, false, false);
  AddPropertyDescriptors(PortPropertyDescriptors());
  AddPropertyDescriptors(kReaderRows);
  SetPropertyDefault("IsOpen", "1", true);
  SetPropertyDefault("Неразделяемое", "1", false);
}

std::string TManagerScanner_RA03VList::GetErrorText(int32_t code) {
  if (code >= 0 && code < static_cast<int32_t>(kReaderTexts.size()))
    return std::string(kReaderTexts[static_cast<size_t>(code)]);
  const int32_t port = code - kPortCodeBase;
  if (port >= 0 && port < static_cast<int32_t>(kPortTexts.size()) &&
      !kPortTexts[static_cast<size_t>(port)].empty())
    return std::string(kPortTexts[static_cast<size_t>(port)]);
  return std::string(kUndefinedError);
}

}  // namespace ra03v
