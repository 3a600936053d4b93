#pragma once

// The technical panes as users meet them: the window on a private library,
// read by identifier, lists clicked where their rows lie.
#include "app/kit/ViewKit.h"
#include "app/technical/RowList.h"
#include "app/technical/SelectableText.h"
#include "app/window/ShellTestSupport.h"

#include <QClipboard>
#include <QLabel>
#include <QListView>

namespace quorilanth::test {

// An exchange recorded at a fixed moment, so its texts do not change from run to run.
inline Evidence exchange(const std::string& url, const std::string& method = "GET") {
    Evidence e(url, method);
    e.timestamp = *parseISO8601("2026-01-31T08:05:09Z");
    return e;
}

class TechnicalWindow : public WorkspaceFixture {
public:
    // Every widget of that name the window shows, in order.
    template <typename T = QWidget> QList<T*> all(const QString& name) const {
        QList<T*> found;
        for (T* widget : view->findChildren<T*>(name))
            if (widget->isVisibleTo(view.get())) found.append(widget);
        return found;
    }
    static QString text(const QWidget* widget) {
        if (auto* elided = qobject_cast<const ElidedLabel*>(widget)) return elided->text();
        if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
        if (auto* title = qobject_cast<const SpacedText*>(widget)) return title->text();
        auto* value = qobject_cast<const SelectableText*>(widget);
        return value ? value->text() : QString();
    }
    // The texts of every widget of that name the window shows, or, with
    // `within`, of every label and value inside it.
    QStringList texts(const QString& name, bool within = false) const {
        QStringList result;
        for (QWidget* widget : all(name))
            for (QWidget* shown : within ? widget->findChildren<QWidget*>() : QList{widget})
                if (qobject_cast<QLabel*>(shown) || qobject_cast<SelectableText*>(shown) ||
                    qobject_cast<SpacedText*>(shown))
                    result.append(text(shown));
        return result;
    }
    static QStringList rows(const QListView* list, int role = Qt::DisplayRole) {
        QStringList result;
        for (int row = 0; list && row < list->model()->rowCount(); ++row)
            result.append(list->model()->index(row, 0).data(role).toString());
        return result;
    }
    static void clickRow(QListView* list, int row) {
        const QRect box = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
        settle();
    }
    static void clickRow(RowList* list, const QString& identifier) {
        ASSERT_GE(list->rowOf(identifier), 0) << identifier.toStdString();
        clickRow(list, list->rowOf(identifier));
    }
    static QString clipboard() { return QGuiApplication::clipboard()->text(); }
};

} // namespace quorilanth::test
