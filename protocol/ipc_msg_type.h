// The daemon's names for the message types of the wire header.
#pragma once

#include <cstdint>

#include "sim7100_protocol.h"

namespace Ipc {

enum EIpcMsgType : uint32_t {
    eMsgRegister = SIM7100_MSG_REGISTER,
    eMsgTerminate = SIM7100_MSG_TERMINATE,
    eMsgPowerOn = SIM7100_MSG_POWER_ON,
    eMsgPowerOff = SIM7100_MSG_POWER_OFF,
    eMsgStandBy = SIM7100_MSG_STAND_BY,
    eMsgConnect = SIM7100_MSG_CONNECT,
    eMsgDisconnect = SIM7100_MSG_DISCONNECT,
    eMsgSetAuthentication = SIM7100_MSG_SET_AUTHENTICATION,
    eMsgSetApn = SIM7100_MSG_SET_APN,
    eMsgEnterPin = SIM7100_MSG_ENTER_PIN,
    eMsgGetPinRetries = SIM7100_MSG_GET_PIN_RETRIES,
    eMsgGetSimStatus = SIM7100_MSG_GET_SIM_STATUS,
    eMsgGetConnectionStatus = SIM7100_MSG_GET_CONNECTION_STATUS,
    eMsgGetChipType = SIM7100_MSG_GET_CHIP_TYPE,
    eMsgGpsStart = SIM7100_MSG_GPS_START,
    eMsgGpsStop = SIM7100_MSG_GPS_STOP,
    eMsgGpsGetInfo = SIM7100_MSG_GPS_GET_INFO,
    eMsgGpsGetXtraStatus = SIM7100_MSG_GPS_GET_XTRA_STATUS,
    eMsgGpsEnableXtra = SIM7100_MSG_GPS_ENABLE_XTRA,
    eMsgGetSignalQuality = SIM7100_MSG_GET_SIGNAL_QUALITY,
    eMsgLbsStart = SIM7100_MSG_LBS_START,
    eMsgLbsStop = SIM7100_MSG_LBS_STOP,
    eMsgLbsGetLocation = SIM7100_MSG_LBS_GET_LOCATION,
    eMsgGetFirmwareVersion = SIM7100_MSG_GET_FIRMWARE_VERSION,
    eMsgRawCommand = SIM7100_MSG_RAW_COMMAND,
    eMsgSetErrorReporting = SIM7100_MSG_SET_ERROR_REPORTING,
    eMsgGetServiceProvider = SIM7100_MSG_GET_SERVICE_PROVIDER,
    eMsgGetNetworkMode = SIM7100_MSG_GET_NETWORK_MODE,
    eMsgSetClock = SIM7100_MSG_SET_CLOCK,
    eMsgGpsDownloadXtra = SIM7100_MSG_GPS_DOWNLOAD_XTRA,
    eMsgSetTimeServer = SIM7100_MSG_SET_TIME_SERVER,
    eMsgUpdateTime = SIM7100_MSG_UPDATE_TIME,
    eMsgGetSmsMode = SIM7100_MSG_GET_SMS_MODE,
    eMsgSetSmsMode = SIM7100_MSG_SET_SMS_MODE,
    eMsgListSms = SIM7100_MSG_LIST_SMS,
    eMsgReadSms = SIM7100_MSG_READ_SMS,
    eMsgDeleteSms = SIM7100_MSG_DELETE_SMS,
    eMsgWriteSms = SIM7100_MSG_WRITE_SMS,
};

static_assert(sizeof(EIpcMsgType) == 4, "the type field is 32-bit");
static_assert(eMsgWriteSms - eMsgRegister == 37, "values 1 to 38 without gaps");

}  // namespace Ipc
