// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "korvane/model/record.h"
#include "korvane/record/packs.h"

class QComboBox;

namespace korvane::ui {

// "Channel 1: [pack]  Channel 2: [pack]": the pack chosen for each channel, offered among "No
// pack" and the packs not retired (a retired pack stays listed while a channel has it chosen).
// Show() changes what the combos show without emitting Chosen; a choice of the user emits it.
// UI thread only.
class ChannelPackBar final : public QWidget {
  Q_OBJECT

 public:
  using Choice = std::array<std::int64_t, model::kChannelCount>;

  explicit ChannelPackBar(QWidget* parent = nullptr);

  // `packs` in the order to offer them; `chosen` per channel (0: none).
  void Show(const std::vector<record::Pack>& packs, const Choice& chosen);
  // Channel 1 or 2.
  QComboBox* Combo(int channel) const;
  Choice Shown() const;

 signals:
  void Chosen(int channel, std::int64_t pack_id);

 private:
  std::array<QComboBox*, model::kChannelCount> combos_{};
};

}  // namespace korvane::ui
