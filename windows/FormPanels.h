#pragma once

class QWidget;
struct ChannelWidgets;
struct FormVariant;
struct VariantNames;

// The parts of one page of the device window form. Each builds its widgets under a new panel
// widget, fills the matching pointers of the role structure and returns the panel.
namespace formpanels {

// The controls of one DSP channel (index 0 or 1); extras, when given, ends the panel's top row.
QWidget* channelPanel(const VariantNames& names, int channel, QWidget* extras, ChannelWidgets* out,
                      QWidget* parent);
// Status, power, impedance monitor, device information, presets, pink noise, firmware update.
QWidget* systemPanel(const VariantNames& names, FormVariant* out, QWidget* parent);
// The impedance test.
QWidget* debugPanel(const VariantNames& names, FormVariant* out, QWidget* parent);

}  // namespace formpanels
