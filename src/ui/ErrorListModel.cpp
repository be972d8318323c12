#include "ui/ErrorListModel.h"

#include "platform/Error.h"
#include "platform/Log.h"

#include <algorithm>
#include <utility>

namespace quorvel {

ErrorListModel::ErrorListModel(QObject* parent) : QAbstractListModel(parent) {}

void ErrorListModel::setHistory(std::shared_ptr<const ErrorHistory> history) {
    beginResetModel();
    m_history = std::move(history);
    m_size = m_history ? std::max(m_history->size(), 0) : 0;
    m_pages.clear();
    m_order.clear();
    m_failureLogged = false;
    endResetModel();
}

int ErrorListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_size;
}

const ErrorListModel::Page& ErrorListModel::page(int number) const {
    if (const auto found = m_pages.find(number); found != m_pages.end())
        return found->second;
    Page lines;
    QString failure;
    try {
        lines = m_history->lines(number * kPageSize, kPageSize);
    } catch (const std::exception& e) {
        failure = errorText(e);
    } catch (...) {
        failure = QStringLiteral("errore sconosciuto");
    }
    // A failed page stays empty until the next refresh: no read per repaint.
    if (!failure.isEmpty() && !m_failureLogged) {
        m_failureLogged = true;
        log::error(QStringLiteral("Lettura dello storico errori: ") + failure);
    }
    if (m_order.size() >= kMaxPages) {
        m_pages.erase(m_order.front());
        m_order.pop_front();
    }
    m_order.push_back(number);
    return m_pages.emplace(number, std::move(lines)).first->second;
}

QVariant ErrorListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= m_size || !m_history)
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::UserRole)
        return {};
    const Page& lines = page(index.row() / kPageSize);
    const auto at = static_cast<std::size_t>(index.row() % kPageSize);
    if (at >= lines.size())  // removed since the refresh
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    const ErrorLineInfo& line = lines[at];
    switch (role) {
        case Qt::DisplayRole:
            return line.text;
        case Qt::ToolTipRole:
            return line.reason.isEmpty() ? QVariant() : QVariant(line.reason);
        default:
            return line.id != 0 ? QVariant(int{line.id}) : QVariant();
    }
}

std::vector<std::int32_t> ErrorListModel::selectedIds(const QItemSelection& selection) const {
    if (!m_history)
        return {};
    std::vector<std::pair<int, int>> runs;  // first, last row
    for (const QItemSelectionRange& range : selection) {
        const int first = std::max(range.top(), 0);
        const int last = std::min(range.bottom(), m_size - 1);
        if (range.parent().isValid() || first > last)
            continue;
        runs.emplace_back(first, last);
    }
    std::sort(runs.begin(), runs.end());
    std::vector<std::int32_t> ids;
    int from = -1;
    int to = -1;
    const auto read = [&] {
        if (from < 0)
            return;
        for (const std::int32_t id : m_history->ids(from, to - from + 1))
            if (id != 0)
                ids.push_back(id);
    };
    for (const auto& [first, last] : runs) {
        if (from >= 0 && first <= to + 1) {
            to = std::max(to, last);
            continue;
        }
        read();
        from = first;
        to = last;
    }
    read();
    return ids;
}

}  // namespace quorvel
