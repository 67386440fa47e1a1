// The mailbox window's list: a table model over the store that keeps only
// the ids of its rows (in the view's order) and fetches the rows it shows by
// id, a page at a time, keeping a few pages. So a folder of 100,000
// messages opens with one id query, and scrolling or moving costs one page
// fetch at most.
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <cstdint>
#include <deque>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mailbox/MailStore.h"

namespace nami {

class CMailListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumns = 8;
  static constexpr int kPageRows = 128;
  static constexpr std::size_t kPagesKept = 16;

  CMailListModel(mailbox::CMailStore& store, QObject* parent = nullptr);

  // Shows the view's rows; with `hits` only those among them (a search).
  void SetView(const mailbox::SViewQuery& view, const std::unordered_set<std::int64_t>* hits = nullptr);
  // The same view again (the store changed); the rows keep their ids.
  void Reload();
  const mailbox::SViewQuery& View() const { return view_; }
  bool Filtered() const { return filtered_; }

  std::int64_t IdAt(int row) const;
  int RowOfId(std::int64_t id) const;
  // The row's columns (fetched when needed); nullptr out of range.
  const mailbox::SHeaderRow* RowAt(int row) const;
  // The row's fetched copy is dropped (it changed in the store).
  void Forget(int row);
  // The first unread row after `row` among the next `within` rows
  // (wrapping), -1 when none.
  int NextUnread(int row, int within) const;

  // The slowest page fetch since the last reset (the measurements).
  double SlowestFetchMs() const { return slowestFetchNs_ / 1e6; }
  int Fetches() const { return fetches_; }
  void ResetSlowestFetch() {
    slowestFetchNs_ = 0;
    fetches_ = 0;
  }

  // A list entry's read mark was switched in the table.
  std::function<void(const mailbox::SHeaderRow& entry, bool on)> onMarkSwitched;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void sort(int column, Qt::SortOrder order) override;

 private:
  void LoadIds();
  const std::vector<mailbox::SHeaderRow>& Page(int page) const;

  mailbox::CMailStore& store_;
  mailbox::SViewQuery view_;
  std::unordered_set<std::int64_t> hits_;
  bool filtered_ = false;
  std::vector<std::int64_t> ids_;
  mutable std::unordered_map<std::int64_t, int> rowOf_;
  mutable std::unordered_map<int, std::vector<mailbox::SHeaderRow>> pages_;
  mutable std::deque<int> pageOrder_;
  QFont bold_;
  mutable std::int64_t slowestFetchNs_ = 0;
  mutable int fetches_ = 0;
};

}  // namespace nami
