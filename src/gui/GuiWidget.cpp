// What every widget shares: loading its record, its rectangle, moving and
// the click behaviour.
#include "gui/GuiWidget.h"

#include "gui/GuiButton.h"
#include "gui/GuiCheckBox.h"
#include "gui/GuiComboBox.h"
#include "gui/GuiEditBox.h"
#include "gui/GuiFrame.h"
#include "gui/GuiLabel.h"
#include "gui/GuiListBox.h"

GuiWidget::~GuiWidget() = default;

void GuiWidget::load(const WidgetBlock& block, Font* font)
{
    this->font = font;
    record = block.record;
    text = record.hasText ? block.text : std::string();
    colourSpec = record.hasColours ? block.colours : std::string();
    origin = {float(record.x), float(record.y)};
    // In float so that huge records cannot overflow.
    rect = {origin.x, origin.y, origin.x + float(record.width), origin.y + float(record.height)};
}

void GuiWidget::moveBy(float dx, float dy)
{
    rect.moveBy(dx, dy);
    origin.x += dx;
    origin.y += dy;
}

void GuiWidget::mouseButton(const SDL_MouseButtonEvent& event, GuiPoint point)
{
    if (event.type == SDL_MOUSEBUTTONDOWN && event.button == SDL_BUTTON_LEFT) {
        leftPressed(point);
    } else if (event.type == SDL_MOUSEBUTTONUP) {
        if (event.button == SDL_BUTTON_LEFT) {
            leftReleased(point);
            if (rect.contains(point))
                click();
        } else if (event.button == SDL_BUTTON_WHEELUP) {
            wheel(-1, point);
        } else if (event.button == SDL_BUTTON_WHEELDOWN) {
            wheel(1, point);
        }
    }
}

GuiWidget* makeWidget(int type)
{
    switch (type) {
    case gui::kTypeButton: return new GuiButton;
    case gui::kTypeCheckBox: return new GuiCheckBox;
    case gui::kTypeFrame: return new GuiFrame;
    case gui::kTypeListBox: return new GuiListBox;
    case gui::kTypeEditBox: return new GuiEditBox;
    case gui::kTypeComboBox: return new GuiComboBox;
    case gui::kTypeLabel: return new GuiLabel;
    default: return nullptr;
    }
}
