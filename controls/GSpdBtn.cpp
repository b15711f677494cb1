#include "controls/GSpdBtn.h"
#include "config/Dialogs.h"
#include "controls/BmpLibrary.h"

#include <exception>

TGSpeedButton::TGSpeedButton(QWidget* parent) : TSpeedButton(parent) {}

void TGSpeedButton::SetGlyphIndex(int index)
{
    if (index == glyphIndex_)
        return;
    glyphIndex_ = index;
    SetCaption(QString::number(index));
    try {
        if (index <= 0 || index > GetMaxBmpID()) {
            SetGlyphImages(QImage(), 1);
            return;
        }
        QImage glyph;
        if (LoadBmp(glyph, index, 18)) {
            SetCaption(QString());
            SetGlyphImages(glyph, glyph.height() > 0 ? glyph.width() / glyph.height() : 1);
        } else {
            SetGlyphImages(QImage(), 1);
        }
    } catch (const std::exception&) {
        MessageDlg(QStringLiteral("读取 BMP 发生错误"), mtError, {mbOK}, this);
    }
}
