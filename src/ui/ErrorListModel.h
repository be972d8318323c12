// List2's model: the error history read a page at a time, only the pages of
// the rows the view asks for, with a bounded cache of them.
#pragma once

#include "polling/MainView.h"

#include <QAbstractListModel>
#include <QItemSelection>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

namespace quorvel {

class ErrorListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kPageSize = 200;
    static constexpr std::size_t kMaxPages = 50;

    explicit ErrorListModel(QObject* parent = nullptr);

    // Replaces the history shown (a model reset: selection and cache go).
    // A null history shows nothing.
    void setHistory(std::shared_ptr<const ErrorHistory> history);
    const std::shared_ptr<const ErrorHistory>& history() const { return m_history; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // DisplayRole: the line's text; ToolTipRole: its reason; Qt::UserRole:
    // its id (none for a line without one). A line that can't be read is
    // empty: the failure is logged, never thrown from here.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The ids of the selected lines in row order, lines without an id left
    // out: one ids() read per contiguous run of rows, so a whole-list
    // selection is one read. Throws what the history throws.
    std::vector<std::int32_t> selectedIds(const QItemSelection& selection) const;

private:
    using Page = std::vector<ErrorLineInfo>;
    const Page& page(int number) const;

    std::shared_ptr<const ErrorHistory> m_history;
    int m_size = 0;  // read once: the view must see a fixed row count
    mutable std::unordered_map<int, Page> m_pages;
    mutable std::deque<int> m_order;  // pages cached, oldest first
    mutable bool m_failureLogged = false;
};

}  // namespace quorvel
