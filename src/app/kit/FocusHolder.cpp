#include "app/kit/FocusHolder.h"

#include "app/kit/FocusOutline.h"

#include <QAccessibleWidget>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

// A plain widget is heard as a filler with no name: the holder is heard as
// the control it stands for.
class HolderAccessible final : public QAccessibleWidget {
public:
    explicit HolderAccessible(FocusHolder* holder)
        : QAccessibleWidget(holder, QAccessible::Grouping) {}
    QString text(QAccessible::Text kind) const override {
        if (kind != QAccessible::Name) return QAccessibleWidget::text(kind);
        QAccessibleInterface* control =
            QAccessible::queryAccessibleInterface(static_cast<FocusHolder*>(widget())->control());
        return control ? control->text(QAccessible::Name) : QString();
    }
};

QAccessibleInterface* holderFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("quorilanth::FocusHolder") && object && object->isWidgetType())
        return new HolderAccessible(static_cast<FocusHolder*>(object));
    return nullptr;
}

} // namespace

FocusHolder::FocusHolder(QWidget* control, qreal radius, bool onAccent, QWidget* parent)
    : QWidget(parent), control_(control) {
    static const bool installed = (QAccessible::installFactory(holderFactory), true);
    Q_UNUSED(installed);
    setObjectName(QStringLiteral("ql-") + control->objectName() + QStringLiteral("-holder"));
    setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(control);
    new FocusOutline(this, radius, onAccent);
}

} // namespace quorilanth
