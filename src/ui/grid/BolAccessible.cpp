#include "ui/grid/BolAccessible.h"

#include "model/LorvantaDoc.h"
#include "model/Taal.h"
#include "session/LorvantaSession.h"
#include "ui/dial/TaalDial.h"
#include "ui/grid/LorvantaView.h"

#include <QAccessibleWidget>

#include <cmath>
#include <functional>
#include <vector>

namespace lorvanta {

namespace {

// The widget that shows the bols, as its bols see it.
struct BolHost {
    CLorvantaSession* session = nullptr;
    std::function<int()> sounding;
    // Where bol i stands on the screen.
    std::function<QRect(int)> screenRect;
    // A click on bol i, with Ctrl when added to the selection.
    std::function<void(int)> toggle;
};

QString BeatsText(double beats) {
    const QString number = QString::number(beats, 'g', 4);
    return beats == 1.0 ? QStringLiteral("1 beat") : number + QStringLiteral(" beats");
}

class BolItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    BolItemAccessible(QAccessibleInterface* parent, const BolHost* host, int index)
        : m_parent(parent), m_host(host), m_index(index) {}

    bool isValid() const override { return Bol() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_parent->window(); }
    QAccessibleInterface* parent() const override { return m_parent; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QRect rect() const override { return m_host->screenRect(m_index); }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text kind) const override {
        const CBol2* bol = Bol();
        if (!bol)
            return {};
        if (kind == QAccessible::Name)
            return QString::fromStdString(bol->name);
        if (kind != QAccessible::Description)
            return {};
        double start = 0.0;
        const CTaal& taal = m_host->session->Document().Taal();
        for (int i = 0; i < m_index; ++i)
            start += static_cast<double>(taal.BolAt(i)->duration);
        QString text = QStringLiteral("bol %1, beat %2, %3")
                           .arg(m_index + 1)
                           .arg(QString::number(start + 1.0, 'g', 4))
                           .arg(BeatsText(static_cast<double>(bol->duration)));
        if (m_host->session->Editor().IsSelected(m_index))
            text += QStringLiteral(", selected");
        if (m_host->sounding() == m_index)
            text += QStringLiteral(", sounding");
        return text;
    }

    QAccessible::State state() const override {
        QAccessible::State state;
        state.selectable = true;
        state.multiSelectable = true;
        state.selected = Bol() && m_host->session->Editor().IsSelected(m_index);
        // The sounding bol is the one that is "active" now.
        state.active = m_host->sounding() == m_index;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString& name) override {
        if (name == toggleAction() && Bol())
            m_host->toggle(m_index);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    const CBol2* Bol() const { return m_host->session->Document().Taal().BolAt(m_index); }

    QAccessibleInterface* m_parent;
    const BolHost* m_host;
    int m_index;
};

// The grid or the dial: a list whose items are the Taal's bols.
class BolListAccessible : public QAccessibleWidget {
public:
    BolListAccessible(QWidget* widget, BolHost host)
        : QAccessibleWidget(widget, QAccessible::List), m_host(std::move(host)) {}
    ~BolListAccessible() override {
        for (QAccessible::Id id : m_items)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return m_host.session->Document().Taal().Count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        // Items stand for places in the Taal, made once each.
        while (static_cast<int>(m_items.size()) <= index) {
            auto* item = new BolItemAccessible(const_cast<BolListAccessible*>(this), &m_host,
                                               static_cast<int>(m_items.size()));
            m_items.push_back(QAccessible::registerAccessibleInterface(item));
        }
        return QAccessible::accessibleInterface(m_items[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (QAccessible::accessibleInterface(m_items[i]) == child)
                return static_cast<int>(i) < childCount() ? static_cast<int>(i) : -1;
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (m_host.screenRect(i).contains(x, y))
                return child(i);
        }
        return nullptr;
    }

private:
    BolHost m_host;
    mutable std::vector<QAccessible::Id> m_items;
};

QAccessibleInterface* MakeAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("lorvanta::CLorvantaView")) {
        auto* view = static_cast<CLorvantaView*>(object);
        BolHost host;
        host.session = &view->Session();
        host.sounding = [view] { return view->SoundingBol(); };
        host.screenRect = [view](int i) {
            const CBolView* cell = view->GetBolView(i);
            if (!cell)
                return QRect();
            const QRect client = view->ToClient(cell->frame);
            return QRect(view->viewport()->mapToGlobal(client.topLeft()), client.size());
        };
        host.toggle = [view](int i) { view->Editor().Click(i, {false, true}); };
        return new BolListAccessible(view, std::move(host));
    }
    if (className == QLatin1String("lorvanta::CTaalDial")) {
        auto* dial = static_cast<CTaalDial*>(object);
        BolHost host;
        host.session = &dial->Session();
        host.sounding = [dial] { return dial->SoundingBol(); };
        host.screenRect = [dial](int i) {
            const QPointF at = dial->PointAt(dial->BolAngle(i), 0.96);
            return QRect(dial->mapToGlobal(at.toPoint()) - QPoint(6, 6), QSize(12, 12));
        };
        host.toggle = [dial](int i) { dial->Session().Editor().Click(i, {false, true}); };
        return new BolListAccessible(dial, std::move(host));
    }
    return nullptr;
}

} // namespace

void InstallBolAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(MakeAccessible);
        return true;
    }();
    (void)installed;
}

} // namespace lorvanta
