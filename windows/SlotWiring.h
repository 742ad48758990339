#pragma once

class QObject;

// Connects each listed signal of sender to the receiver's slot of the same signature, e.g.
// "bandGainChanged(int,int,double)". Returns false when a signal or slot is missing.
bool connectSameNamedSlots(QObject* sender, const char* const* signatures, int count,
                           QObject* receiver);
