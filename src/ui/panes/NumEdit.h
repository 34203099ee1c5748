#pragma once

// Two small controls for editing a floating-point number: CNumEdit, an edit
// box that only ever holds a valid number within its range, and
// CNumSpinCtrl, up and down arrows that step the number in their buddy
// CNumEdit by a fixed delta.

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <limits>
#include <optional>

class QToolButton;

namespace lorvanta {

class MessageSink;

// A text read as one number with nothing but blanks around it, whatever the
// user's locale (the point is always "."); nothing when it is no number. A
// number too large for a float reads as an infinity of its sign.
std::optional<float> ReadNumberText(const QString& text);

class CNumEdit : public QLineEdit {
    Q_OBJECT

public:
    // What IsValid finds in a text.
    enum Validity { kValid = 0, kOutOfRange = 1, kNotANumber = 2, kIncomplete = 3 };

    static constexpr const char* kOutOfRangeText = "Given value is out of range.\n";
    static constexpr const char* kNotANumberText = "Characters must be a number.\n";

    // The sink is where verbose rejections are explained; it may be null
    // (nothing is then shown) and must outlive the edit.
    explicit CNumEdit(MessageSink* sink = nullptr, QWidget* parent = nullptr);

    // Adds steps × delta to the value, kept within the range.
    virtual void ChangeBy(int steps);
    virtual float GetDelta() const { return m_delta; }
    virtual void SetDelta(float delta) { m_delta = delta; }
    virtual void GetRange(float& minimum, float& maximum) const;
    virtual void SetRange(float minimum, float maximum);
    virtual bool IsVerbose() const { return m_verbose; }
    virtual void SetVerbose(bool verbose) { m_verbose = verbose; }
    // The validity code of a text, or of the edit's own text.
    virtual int IsValid(const QString& text) const;
    virtual int IsValid() const { return IsValid(text()); }
    // Writes the value with ConstructFormat's format; false (and nothing
    // changes) when it lies outside the range.
    virtual bool SetValue(float value);
    // The text's number when it is valid, the minimum otherwise.
    virtual float GetValue() const;
    // The printf format a value is written with: fixed point with as many
    // decimals as any value so far has needed (the count only grows).
    virtual QString ConstructFormat(float value);

    int Decimals() const { return m_decimals; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Whether a key reaches the edit as a typed character (Backspace and the
    // control characters of paste, cut and undo included).
    static bool IsCharacterKey(const QKeyEvent* event);

    MessageSink* m_sink;
    int m_decimals = 0;
    bool m_verbose = false;
    float m_delta = 1.0f;
    float m_minimum = std::numeric_limits<float>::lowest();
    float m_maximum = std::numeric_limits<float>::max();
    // Set after a refused character: the characters already typed behind it
    // are thrown away until the event loop has run.
    bool m_discarding = false;
};

// Up and down arrows beside an edit. Their own integer position runs from 0
// to 1000 and is kept near 500, so it never reaches an end however long the
// user spins; the number itself, its range and its step live in the buddy.
class CNumSpinCtrl : public QWidget {
    Q_OBJECT

public:
    static constexpr int kLowest = 0;
    static constexpr int kHighest = 1000;
    static constexpr int kMiddle = 500;

    explicit CNumSpinCtrl(QWidget* parent = nullptr);

    virtual void SetDelta(float delta);
    virtual float GetDelta() const;
    // Makes the edit the buddy; a CNumEdit's value becomes 0.
    virtual void SetBuddy(QLineEdit* buddy);
    virtual QLineEdit* GetBuddy() const { return m_buddy; }
    virtual void GetRange(float& minimum, float& maximum) const;
    virtual void SetRange(float minimum, float maximum);
    // The buddy's value (0 when the buddy is not a CNumEdit).
    virtual float GetPos() const;
    virtual void SetPos(float value);

    // One change of the arrows by `change` steps (negative: down), as held
    // arrows make it larger.
    void Spin(int change);
    int IntegerPos() const { return m_pos; }
    // The steps one arrow event takes after the arrow has been held so long.
    static int AcceleratedChange(qint64 heldMs);

    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

signals:
    // The arrows changed the buddy's value.
    void spun();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CNumEdit* NumBuddy() const;
    void OnArrow(int direction);

    QPointer<QLineEdit> m_buddy;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    int m_pos = kMiddle;
    QElapsedTimer m_held;
};

} // namespace lorvanta
