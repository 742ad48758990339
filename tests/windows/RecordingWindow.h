#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Stands in for the device window: records every call of the slots the channel and band
// controls are wired to, as "slot(args)".
class RecordingWindow : public QObject {
    Q_OBJECT
public:
    QStringList calls;

public slots:
    void inputGainChanged(int chIdx, double value) { record("inputGain", {chIdx}, value); }
    void delayChanged(int chIdx, int value) { record("delay", {chIdx}, value); }
    void outputGainChanged(int channel, double value) { record("outputGain", {channel}, value); }
    void outputInvertChanged(int channel, int state) { record("outputInvert", {channel}, state); }
    void outputMuteChanged(int channel, int state) { record("outputMute", {channel}, state); }
    void highPassBypassChanged(int chIdx, int state) { record("highPassBypass", {chIdx}, state); }
    void lowPassBypassChanged(int chIdx, int state) { record("lowPassBypass", {chIdx}, state); }
    void highPassFreqChanged(int chIdx, double value) { record("highPassFreq", {chIdx}, value); }
    void lowPassFreqChanged(int chIdx, double value) { record("lowPassFreq", {chIdx}, value); }
    void bandBypassChanged(int channel, int band, int state) {
        record("bandBypass", {channel, band}, state);
    }
    void bandFreqChanged(int channel, int band, double value) {
        record("bandFreq", {channel, band}, value);
    }
    void bandGainChanged(int channel, int band, double value) {
        record("bandGain", {channel, band}, value);
    }
    void bandQChanged(int channel, int band, double value) {
        record("bandQ", {channel, band}, value);
    }

private:
    void record(const char* slot, std::initializer_list<int> indices, double value) {
        QStringList args;
        for (int i : indices) {
            args << QString::number(i);
        }
        args << QString::number(value, 'g', 10);
        calls << QString("%1(%2)").arg(slot, args.join(','));
    }
};
