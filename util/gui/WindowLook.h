#pragma once

#include <QColor>
#include <QProxyStyle>
#include <QString>

#include <initializer_list>

class QAbstractButton;
class QLabel;
class QToolButton;
class QWidget;

// The program's window look: a light client area whatever the desktop theme, a coloured band
// along the top with a near-white heading, and dialogs' buttons on a band along the bottom.
namespace look {

inline constexpr QColor BandBlue{0, 95, 140};
inline constexpr QColor BandRed{191, 10, 48}; // the welcome and About windows
inline constexpr QColor HeadingText{249, 253, 255};
inline constexpr QColor ButtonFace{240, 240, 240};
constexpr int BandHeight = 25;
constexpr int HeadingPixelSize = 16;

// White background and dark text in every role and colour group, so a dark desktop theme cannot
// leave dark text on white or white text on the light panels. The highlight stays a clear blue,
// which is also what the style draws a keyboard focus frame with.
void applyLightPalette(QWidget *window);

// A dialog frame: only the close box in the title bar, so that no window manager offers to
// minimise or maximise a window of fixed size (the caller fixes the size); optionally on top of
// other windows. Call it before the window is shown.
void setDialogFrame(QWidget *window, bool stayOnTop = false);

// The program's style over the desktop's: the keyboard focus of push buttons, check boxes and
// radio buttons is ringed in the highlight colour, two pixels wide, so it shows at scale 1 too
// (the plain style's ring is a faint one-pixel line).
class ProgramStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
};
// The frame of a window the user may resize, minimise and maximise (the catalog and search
// windows).
void setSizableFrame(QWidget *window);

// A filled band; its text is in the heading colour. The caller gives it its height.
QWidget *makeBand(QWidget *parent, const QString &objectName, const QColor &colour = BandBlue);
// The heading label of a band: 16-pixel font in the heading colour on the band's own colour. The
// heading also names the window for screen readers, whose titles are all "Ambrylog".
QLabel *makeHeading(QWidget *band, const QString &objectName, const QString &text);
// The 25-pixel top band with its heading at the left, laid out; heading is set when asked.
QWidget *makeTopBand(QWidget *window, const QString &bandName, const QString &headingName,
                     const QString &text, const QColor &colour = BandBlue, QLabel **heading = nullptr);
// The bottom band of a dialog with the buttons at its right, in the given order. Buttons keep
// the light face and dark text, not the band's colours.
QWidget *makeButtonBand(QWidget *window, const QString &objectName,
                        std::initializer_list<QAbstractButton *> buttons, const QColor &colour = BandBlue);

// A flat glyph button on a band: a light wash under the pointer, a darker one while pressed and
// a near-white frame while it has the keyboard focus (the style's own would vanish on the band).
// It takes the focus from the keyboard only, so a click leaves no frame behind.
void styleBandButton(QToolButton *button);

} // namespace look
