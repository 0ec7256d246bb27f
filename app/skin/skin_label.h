// SkinLabel: a text label drawn with the look of a skin ([Label] of the skin file).
//
// Until AttachSkin is called the label draws with the widget's own palette and font. The label
// follows the skin that its form shows at paint time, so a form that loads another skin file
// changes its labels too. UI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

namespace pellucor {

class SkinForm;

class SkinLabel : public QWidget
{
    Q_OBJECT

public:
    explicit SkinLabel(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    const QString& Caption() const { return m_caption; }

    // The label takes the look of `form`'s skin.
    void AttachSkin(SkinForm* form);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont shownFont() const;

    QString m_caption;
    QPointer<SkinForm> m_skin;
};

} // namespace pellucor
