#include "ui/panes/NumEdit.h"

#include "model/Messages.h"

#include <QKeyEvent>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace lorvanta {

namespace {

// Held arrows: the first step at once, the next after this pause, then one
// event per interval.
constexpr int kFirstRepeatMs = 400;
constexpr int kRepeatMs = 100;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

enum class ReadResult { Number, NotANumber, Overflow };

// Reads a text as one number with nothing but blanks around it (scanf's
// "%f%s" reading exactly one field), whatever the user's locale: the point
// is always ".".
ReadResult ReadNumber(const QString& text, float& value) {
    const QByteArray bytes = text.toUtf8();
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    while (p != end && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == end || *p == '+' || *p == '-')
        return ReadResult::NotANumber;

    float magnitude = 0.0f;
    const auto [next, error] = std::from_chars(p, end, magnitude, std::chars_format::general);
    if (error == std::errc::invalid_argument)
        return ReadResult::NotANumber;
    for (const char* rest = next; rest != end; ++rest) {
        if (!IsBlank(*rest))
            return ReadResult::NotANumber;
    }
    if (error == std::errc::result_out_of_range) {
        // Too small for a float reads as 0, too large as out of every range.
        const std::string digits(p, next);
        const auto exponent = digits.find_first_of("eE");
        if (exponent == std::string::npos || exponent + 1 >= digits.size() ||
            digits[exponent + 1] != '-')
            return ReadResult::Overflow;
        magnitude = 0.0f;
    }
    if (std::isnan(magnitude))
        return ReadResult::NotANumber;
    value = negative ? -magnitude : magnitude;
    return ReadResult::Number;
}

} // namespace

std::optional<float> ReadNumberText(const QString& text) {
    float value = 0.0f;
    switch (ReadNumber(text, value)) {
    case ReadResult::Number:
        return value;
    case ReadResult::Overflow:
        return text.trimmed().startsWith(QLatin1Char('-')) ? -std::numeric_limits<float>::infinity()
                                                           : std::numeric_limits<float>::infinity();
    default:
        return std::nullopt;
    }
}

// ---------------------------------------------------------------------------
// CNumEdit

CNumEdit::CNumEdit(MessageSink* sink, QWidget* parent) : QLineEdit(parent), m_sink(sink) {
    // Text only comes in typed, where every character is checked.
    setContextMenuPolicy(Qt::NoContextMenu);
    setDragEnabled(false);
    setAcceptDrops(false);
}

void CNumEdit::GetRange(float& minimum, float& maximum) const {
    minimum = m_minimum;
    maximum = m_maximum;
}

void CNumEdit::SetRange(float minimum, float maximum) {
    m_minimum = minimum;
    m_maximum = maximum;
}

int CNumEdit::IsValid(const QString& text) const {
    if (text.size() == 1 && (text.at(0) == QLatin1Char('+') || text.at(0) == QLatin1Char('-')))
        return kIncomplete;

    float value = 0.0f;
    int code = kValid;
    switch (ReadNumber(text, value)) {
    case ReadResult::NotANumber:
        code = kNotANumber;
        break;
    case ReadResult::Overflow:
        code = kOutOfRange;
        break;
    case ReadResult::Number:
        if (value > m_maximum || value < m_minimum)
            code = kOutOfRange;
        break;
    }

    if (m_verbose && m_sink && (code == kOutOfRange || code == kNotANumber))
        m_sink->Show({MessageKind::Error, code == kOutOfRange ? kOutOfRangeText : kNotANumberText});
    return code;
}

bool CNumEdit::SetValue(float value) {
    if (std::isnan(value) || value > m_maximum || value < m_minimum)
        return false;
    const QString format = ConstructFormat(value);
    setText(QString::asprintf(format.toLatin1().constData(), static_cast<double>(value)));
    return true;
}

float CNumEdit::GetValue() const {
    float value = 0.0f;
    if (IsValid() != kValid || ReadNumber(text(), value) != ReadResult::Number)
        return m_minimum;
    return value;
}

void CNumEdit::ChangeBy(int steps) {
    const float value = GetValue() + static_cast<float>(steps) * m_delta;
    SetValue(std::clamp(value, m_minimum, m_maximum));
}

QString CNumEdit::ConstructFormat(float value) {
    const QString general = QString::asprintf("%G", static_cast<double>(value));
    const qsizetype point = general.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        const int count = static_cast<int>(general.size() - point - 1);
        m_decimals = std::max(m_decimals, count);
    }
    return QString::asprintf("%%.%df", m_decimals);
}

bool CNumEdit::IsCharacterKey(const QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace)
        return true;
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
        event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return true;
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const char16_t first = text.at(0).unicode();
    return first >= 0x20 && first != 0x7F;
}

void CNumEdit::keyPressEvent(QKeyEvent* event) {
    if (!IsCharacterKey(event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (m_discarding || event->text() == QStringLiteral(" ")) {
        event->accept();
        return;
    }

    const float old = GetValue();
    QLineEdit::keyPressEvent(event);
    switch (IsValid()) {
    case kValid:
        // The decimals may grow; the text stays as typed.
        ConstructFormat(GetValue());
        break;
    case kIncomplete:
        break;
    default:
        SetValue(old);
        selectAll();
        m_discarding = true;
        QMetaObject::invokeMethod(
            this, [this] { m_discarding = false; }, Qt::QueuedConnection);
        break;
    }
}

// ---------------------------------------------------------------------------
// CNumSpinCtrl

CNumSpinCtrl::CNumSpinCtrl(QWidget* parent) : QWidget(parent) {
    m_up = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_up->setObjectName(QStringLiteral("spinUp"));
    m_up->setAccessibleName(QStringLiteral("Up"));
    m_up->setAccessibleDescription(QStringLiteral("Raise the value by a step"));
    m_down = new QToolButton(this);
    m_down->setArrowType(Qt::DownArrow);
    m_down->setObjectName(QStringLiteral("spinDown"));
    m_down->setAccessibleName(QStringLiteral("Down"));
    m_down->setAccessibleDescription(QStringLiteral("Lower the value by a step"));
    for (QToolButton* button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        button->setFixedWidth(16);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);

    auto* repeat = new QTimer(this);
    auto direction = std::make_shared<int>(0);
    auto press = [this, repeat, direction](int sign) {
        *direction = sign;
        m_held.start();
        OnArrow(sign);
        repeat->start(kFirstRepeatMs);
    };
    connect(m_up, &QToolButton::pressed, this, [press] { press(1); });
    connect(m_down, &QToolButton::pressed, this, [press] { press(-1); });
    connect(m_up, &QToolButton::released, repeat, &QTimer::stop);
    connect(m_down, &QToolButton::released, repeat, &QTimer::stop);
    connect(repeat, &QTimer::timeout, this, [this, repeat, direction] {
        repeat->start(kRepeatMs);
        OnArrow(*direction);
    });
}

int CNumSpinCtrl::AcceleratedChange(qint64 heldMs) {
    if (heldMs < 2000)
        return 1;
    if (heldMs < 5000)
        return 5;
    return 20;
}

void CNumSpinCtrl::OnArrow(int direction) {
    if (!isEnabled())
        return;
    Spin(direction * AcceleratedChange(m_held.isValid() ? m_held.elapsed() : 0));
}

CNumEdit* CNumSpinCtrl::NumBuddy() const {
    return qobject_cast<CNumEdit*>(m_buddy.data());
}

void CNumSpinCtrl::SetBuddy(QLineEdit* buddy) {
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (m_buddy)
        m_buddy->installEventFilter(this);
    if (CNumEdit* edit = NumBuddy())
        edit->SetValue(0.0f);
}

void CNumSpinCtrl::SetDelta(float delta) {
    if (CNumEdit* edit = NumBuddy())
        edit->SetDelta(delta);
}

float CNumSpinCtrl::GetDelta() const {
    const CNumEdit* edit = NumBuddy();
    return edit ? edit->GetDelta() : 0.0f;
}

void CNumSpinCtrl::GetRange(float& minimum, float& maximum) const {
    minimum = maximum = 0.0f;
    if (const CNumEdit* edit = NumBuddy())
        edit->GetRange(minimum, maximum);
}

void CNumSpinCtrl::SetRange(float minimum, float maximum) {
    // The arrows' own range stays 0 to 1000 whatever the number's range.
    if (CNumEdit* edit = NumBuddy())
        edit->SetRange(minimum, maximum);
}

float CNumSpinCtrl::GetPos() const {
    const CNumEdit* edit = NumBuddy();
    return edit ? edit->GetValue() : 0.0f;
}

void CNumSpinCtrl::SetPos(float value) {
    m_pos = kMiddle;
    if (CNumEdit* edit = NumBuddy())
        edit->SetValue(value);
}

void CNumSpinCtrl::Spin(int change) {
    // Back to the middle before the position could reach an end.
    const int reach = std::abs(change);
    if (!(m_pos > reach && m_pos < kHighest - reach))
        m_pos = kMiddle;
    if (CNumEdit* edit = NumBuddy()) {
        edit->ChangeBy(change);
        emit spun();
    }
    m_pos += change;
}

bool CNumSpinCtrl::eventFilter(QObject* watched, QEvent* event) {
    // The buddy's arrow keys spin as the arrows do. The event type is tested
    // first: the buddy sends other events while it is being destroyed, when
    // it is no longer a line edit to compare with.
    if (event->type() == QEvent::KeyPress && watched == m_buddy && isEnabled()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
                Spin(key->key() == Qt::Key_Up ? 1 : -1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lorvanta
