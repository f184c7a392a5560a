#include "control_table.h"

#include <algorithm>

namespace pelorin::monitor {

namespace {

// "入力 1" for the first row's name edit: a row's controls are named by what
// they are and the row's number.
std::string RowName(const char* role, std::size_t row) {
  return std::string(role) + " " + std::to_string(row + 1);
}

std::vector<ControlEntry> BuildTable() {
  using K = ControlKind;
  std::vector<ControlEntry> table = {
      {ids::NodeLabel, K::Label, 15, 68, 89, 8, "取得する送信元ノード (1-254) :", kHidden, 0, ""},
      {ids::NodeEdit, K::LineEdit, 110, 65, 40, 14, "", kHidden | kTabStop, 3, "送信元ノード"},
      {ids::GatewayGroup, K::GroupBox, 5, 10, 290, 50, "ゲートウェイを選択", 0, 0, ""},
      {ids::LanRadio, K::RadioButton, 10, 25, 42, 10, "LAN接続", kTabStop, 0, ""},
      {ids::UsbRadio, K::RadioButton, 10, 40, 43, 10, "USB接続", 0, 0, ""},
      {ids::AddressEdit, K::LineEdit, 86, 25, 124, 14, "", kTabStop, 64, "アドレス"},
      {ids::PortEdit, K::LineEdit, 255, 25, 30, 14, "", kTabStop | kDigitsOnly, 5, "ポート番号"},
      {ids::PortList, K::DropDownList, 61, 40, 224, 290, "", kTabStop, 0, "シリアルポート"},
      {ids::StartButton, K::PushButton, 250, 65, 50, 14, "待機開始", kTabStop, 0, ""},
      {ids::AddressLabel, K::Label, 60, 27, 25, 8, "アドレス :", 0, 0, ""},
      {ids::PortLabel, K::Label, 220, 27, 34, 8, "ポート番号 :", 0, 0, ""},
      {ids::kNone, K::EtchedLine, 5, 90, 299, 1, "", 0, 0, ""},
  };
  for (std::size_t row = 0; row < kRowTopsDlu.size(); ++row) {
    table.push_back({ids::RowNameEdits[row], K::LineEdit, 20, kRowTopsDlu[row], 85, 14, "",
                     kTabStop | kNoComma, 16, RowName("入力", row)});
  }
  for (std::size_t row = 0; row < kRowTopsDlu.size(); ++row) {
    table.push_back({ids::RowIndicators[row], K::Indicator, 115, kRowTopsDlu[row], 15, 15, "", 0, 0,
                     RowName("表示", row)});
  }
  for (std::size_t row = 0; row < kRowTopsDlu.size(); ++row) {
    table.push_back({ids::RowValueLabels[row], K::ValueLabel, 115, kRowTopsDlu[row], 150, 15, "", 0, 0,
                     RowName("値", row)});
  }
  const std::vector<ControlEntry> rest = {
      {ids::kNone, K::EtchedLine, 10, 225, 297, 1, "", 0, 0, ""},
      {ids::LoggingCheck, K::CheckBox, 10, 235, 51, 10, "ロギング有効", kTabStop, 0, ""},
      {ids::kNone, K::Label, 15, 255, 24, 8, "ファイル :", 0, 0, ""},
      {ids::LogPathText, K::PathText, 45, 255, 205, 20, "", 0, 0, "ログファイル"},
      {ids::BrowseButton, K::PushButton, 260, 255, 50, 14, "参照...", kTabStop, 0, ""},
      {ids::VersionText, K::Label, 10, 285, 300, 8, "", kAlignRight, 0, ""},
      {ids::NodeStatus, K::Label, 20, 100, 165, 8, "", 0, 0, "ノード状態"},
      {ids::Progress, K::ProgressBar, 10, 280, 295, 14, "", 0, 0, "接続中"},
      {ids::ReceiveTime, K::Label, 200, 100, 102, 8, "", kAlignRight, 0, "受信時刻"},
  };
  table.insert(table.end(), rest.begin(), rest.end());
  return table;
}

}  // namespace

const std::vector<ControlEntry>& ControlTable() {
  static const std::vector<ControlEntry> table = BuildTable();
  return table;
}

const ControlEntry* FindControl(int id) {
  const auto& table = ControlTable();
  const auto entry = std::find_if(table.begin(), table.end(), [id](const auto& e) { return e.id == id; });
  return entry != table.end() ? &*entry : nullptr;
}

}  // namespace pelorin::monitor
