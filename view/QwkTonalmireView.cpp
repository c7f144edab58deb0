#include "view/QwkTonalmireView.h"

QwkTonalmireView::QwkTonalmireView(AudioEffect* effect)
    : QW::CarbonVSTEditor(effect, kDefaultWidth, kDefaultHeight) {}
