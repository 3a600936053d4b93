#pragma once

// The technical panes as users meet them: the window on a private library,
// read by identifier, lists clicked where their rows lie.
#include "app/technical/RowList.h"
#include "app/technical/SelectableText.h"
#include "app/window/ShellTestSupport.h"

#include <QClipboard>
#include <QLabel>
#include <QListView>

namespace quorilanth::test {

class TechnicalWindow : public WorkspaceFixture {
public:
    // Every widget of that name the window shows, in order.
    template <typename T = QWidget> QList<T*> all(const QString& name) const {
        QList<T*> found;
        for (T* widget : view->findChildren<T*>(name))
            if (widget->isVisibleTo(view.get())) found.append(widget);
        return found;
    }
    QStringList texts(const QString& name) const {
        QStringList result;
        for (QWidget* widget : all(name))
            if (auto* label = qobject_cast<QLabel*>(widget))
                result.append(label->text());
            else if (auto* value = qobject_cast<SelectableText*>(widget))
                result.append(value->text());
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
