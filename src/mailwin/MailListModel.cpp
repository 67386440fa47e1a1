#include "mailwin/MailListModel.h"

#include <QElapsedTimer>

#include "text/Messages.h"

namespace nami {

using mailbox::HeaderTable;
using mailbox::SHeaderRow;

CMailListModel::CMailListModel(mailbox::CMailStore& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store) {
  bold_.setBold(true);
}

void CMailListModel::SetView(const mailbox::SViewQuery& view, const std::unordered_set<std::int64_t>* hits) {
  beginResetModel();
  view_ = view;
  filtered_ = hits != nullptr;
  if (hits) hits_ = *hits;
  else hits_.clear();
  LoadIds();
  endResetModel();
}

void CMailListModel::Reload() {
  beginResetModel();
  LoadIds();
  endResetModel();
}

void CMailListModel::LoadIds() {
  pages_.clear();
  pageOrder_.clear();
  std::vector<std::int64_t> ids;
  if (store_.IsOpen()) store_.ViewIds(view_, ids);
  if (filtered_) {
    std::erase_if(ids, [this](std::int64_t id) { return !hits_.contains(id); });
  }
  ids_ = std::move(ids);
  rowOf_.clear();
}

std::int64_t CMailListModel::IdAt(int row) const {
  return row >= 0 && row < static_cast<int>(ids_.size()) ? ids_[static_cast<std::size_t>(row)] : 0;
}

int CMailListModel::RowOfId(std::int64_t id) const {
  if (rowOf_.empty() && !ids_.empty()) {
    rowOf_.reserve(ids_.size());
    for (std::size_t i = 0; i < ids_.size(); ++i) rowOf_.emplace(ids_[i], static_cast<int>(i));
  }
  const auto it = rowOf_.find(id);
  return it == rowOf_.end() ? -1 : it->second;
}

const std::vector<SHeaderRow>& CMailListModel::Page(int page) const {
  if (auto it = pages_.find(page); it != pages_.end()) return it->second;
  if (pageOrder_.size() >= kPagesKept) {
    pages_.erase(pageOrder_.front());
    pageOrder_.pop_front();
  }
  QElapsedTimer timer;
  timer.start();
  const std::size_t from = static_cast<std::size_t>(page) * kPageRows;
  const std::size_t count = std::min<std::size_t>(kPageRows, ids_.size() - from);
  std::vector<SHeaderRow> rows;
  store_.HeadersByIds(view_.table, ids_.data() + from, count, rows);
  // A row gone from the store meanwhile leaves a gap: keep the places.
  std::vector<SHeaderRow> placed(count);
  std::size_t r = 0;
  for (std::size_t i = 0; i < count && r < rows.size(); ++i)
    if (rows[r].id == ids_[from + i]) placed[i] = std::move(rows[r++]);
  pageOrder_.push_back(page);
  slowestFetchNs_ = std::max<std::int64_t>(slowestFetchNs_, timer.nsecsElapsed());
  ++fetches_;
  return pages_.emplace(page, std::move(placed)).first->second;
}

const SHeaderRow* CMailListModel::RowAt(int row) const {
  if (row < 0 || row >= static_cast<int>(ids_.size())) return nullptr;
  const auto& page = Page(row / kPageRows);
  const std::size_t i = static_cast<std::size_t>(row % kPageRows);
  return i < page.size() ? &page[i] : nullptr;
}

void CMailListModel::Forget(int row) {
  const int page = row / kPageRows;
  if (pages_.erase(page) > 0) std::erase(pageOrder_, page);
  Q_EMIT dataChanged(index(row, 0), index(row, kColumns - 1));
}

int CMailListModel::NextUnread(int row, int within) const {
  const int n = static_cast<int>(ids_.size());
  for (int k = 1; k <= std::min(n, within); ++k) {
    const int r = (row + k) % n;
    const SHeaderRow* h = RowAt(r < 0 ? 0 : r);
    if (h && h->unread) return r;
  }
  return -1;
}

int CMailListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ids_.size());
}

int CMailListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant CMailListModel::data(const QModelIndex& index, int role) const {
  const SHeaderRow* h = RowAt(index.row());
  if (!h) return {};
  const bool list = view_.table == HeaderTable::ListEntries;
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case 0:
        if (view_.table == HeaderTable::Outgoing)
          return h->number > 0 ? QString::fromStdString(msg::Format(msg::ColumnSlot, {{"slot", std::to_string(h->number)}}))
                               : QString();
        return h->number >= 0 ? QVariant(static_cast<qlonglong>(h->number)) : QVariant();
      case 1: return QString::fromStdString(h->type);
      case 2: return QString::fromStdString(h->to);
      case 3: return QString::fromStdString(h->at);
      case 4: return QString::fromStdString(h->from);
      case 5: return QString::fromStdString(h->date);
      case 6: return QString::fromStdString(h->subject);
      case 7: return h->size >= 0 ? QVariant(static_cast<qlonglong>(h->size)) : QVariant();
    }
    return {};
  }
  if (role == Qt::FontRole && (h->unread || (list && !h->read))) return bold_;
  if (role == Qt::CheckStateRole && list && index.column() == 0) return h->marked ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::ToolTipRole && list && index.column() == 0) return QString::fromStdString(msg::MarkedTip);
  if (role == Qt::TextAlignmentRole && (index.column() == 0 || index.column() == 7))
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

bool CMailListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || view_.table != HeaderTable::ListEntries || index.column() != 0) return false;
  const SHeaderRow* h = RowAt(index.row());
  if (!h) return false;
  const bool on = value.toInt() == Qt::Checked;
  if (onMarkSwitched) onMarkSwitched(*h, on);
  Forget(index.row());
  return true;
}

Qt::ItemFlags CMailListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (view_.table == HeaderTable::ListEntries && index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant CMailListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  static const std::string* const kNames[kColumns] = {&msg::ColumnNumber, &msg::ColumnType, &msg::ColumnTo,
                                                      &msg::ColumnAt,     &msg::ColumnFrom, &msg::ColumnDate,
                                                      &msg::ColumnSubject, &msg::ColumnSize};
  return section >= 0 && section < kColumns ? QString::fromStdString(*kNames[section]) : QVariant();
}

void CMailListModel::sort(int column, Qt::SortOrder order) {
  if (view_.sortColumn == column && view_.descending == (order == Qt::DescendingOrder)) return;
  view_.sortColumn = column;
  view_.descending = order == Qt::DescendingOrder;
  Reload();
}

}  // namespace nami
