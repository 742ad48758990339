#pragma once

#include <cstdint>

struct db_browse;
struct db_resolve;

// What each service type does with a resolved instance and with a lost one.
void db_browse_media_device_resolved(db_resolve* resolve, const char* host, uint16_t port,
                                     uint16_t txt_length, const unsigned char* txt);
void db_browse_media_channel_resolved(db_resolve* resolve, const char* host, uint16_t port,
                                      uint16_t txt_length, const unsigned char* txt);
void db_browse_conmon_device_resolved(db_resolve* resolve, const char* host, uint16_t port,
                                      uint16_t txt_length, const unsigned char* txt);
void db_browse_safe_mode_device_resolved(db_resolve* resolve, const char* host, uint16_t port,
                                         uint16_t txt_length, const unsigned char* txt);
void db_browse_upgrade_mode_device_resolved(db_resolve* resolve, const char* host, uint16_t port,
                                            uint16_t txt_length, const unsigned char* txt);
void db_browse_via_device_resolved(db_resolve* resolve, const char* host, uint16_t port,
                                   uint16_t txt_length, const unsigned char* txt);

void db_browse_media_device_lost(db_browse* browse, unsigned network, const char* name);
void db_browse_media_channel_lost(db_browse* browse, unsigned network, const char* name);
void db_browse_conmon_device_lost(db_browse* browse, unsigned network, const char* name);
void db_browse_safe_mode_device_lost(db_browse* browse, unsigned network, const char* name);
void db_browse_upgrade_mode_device_lost(db_browse* browse, unsigned network, const char* name);
void db_browse_via_device_lost(db_browse* browse, unsigned network, const char* name);
