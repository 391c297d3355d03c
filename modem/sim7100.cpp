// The single modem object and the forwarding functions of the request loop.
#include "sim7100.h"

bool g_debugMode = false;

CSim7100Impl& CSim7100Impl::Instance() {
    static CSim7100Impl instance(ProcessSettings());
    return instance;
}

CSim7100Impl* CSim7100::s_impl = &CSim7100Impl::Instance();

CSim7100Impl::CSim7100Impl(const SDaemonSettings& settings) : m_settings(settings) {}

CSim7100Impl::~CSim7100Impl() { (void)StandBy(); }

SCmdResponse CSim7100::PowerOn() { return s_impl->PowerOn(); }
SCmdResponse CSim7100::PowerOff() { return s_impl->PowerOff(); }
SCmdResponse CSim7100::StandBy() { return s_impl->StandBy(); }
SCmdResponse CSim7100::Connect() { return s_impl->Connect(); }
SCmdResponse CSim7100::Disconnect() { return s_impl->Disconnect(); }
SCmdResponse CSim7100::SetAuthentication(const SSetAuthenticationRequest* r) { return s_impl->SetAuthentication(r); }
SCmdResponse CSim7100::SetApn(const SSetApnRequest* r) { return s_impl->SetApn(r); }
SCmdResponse CSim7100::EnterPin(const SEnterPinRequest* r) { return s_impl->EnterPin(r); }
SCmdResponse CSim7100::GetPinRetries() { return s_impl->GetPinRetries(); }
SCmdResponse CSim7100::GetSimStatus() { return s_impl->GetSimStatus(); }
SCmdResponse CSim7100::GetConnectionStatus() { return s_impl->GetConnectionStatus(); }
SCmdResponse CSim7100::GetChipType() { return s_impl->GetChipType(); }
SCmdResponse CSim7100::GpsStart() { return s_impl->GpsStart(); }
SCmdResponse CSim7100::GpsStop() { return s_impl->GpsStop(); }
SCmdResponse CSim7100::GpsGetInfo() { return s_impl->GpsGetInfo(); }
SCmdResponse CSim7100::GpsGetXtraStatus() { return s_impl->GpsGetXtraStatus(); }
SCmdResponse CSim7100::GpsEnableXtra() { return s_impl->GpsEnableXtra(); }
SCmdResponse CSim7100::GetSignalQuality() { return s_impl->GetSignalQuality(); }
SCmdResponse CSim7100::LbsStart() { return s_impl->LbsStart(); }
SCmdResponse CSim7100::LbsStop() { return s_impl->LbsStop(); }
SCmdResponse CSim7100::LbsGetLocation() { return s_impl->LbsGetLocation(); }
SCmdResponse CSim7100::GetFirmwareVersion() { return s_impl->GetFirmwareVersion(); }
SCmdResponse CSim7100::RawCommand(const char* data, unsigned size) { return s_impl->RawCommand(data, size); }
SCmdResponse CSim7100::SetErrorReporting(const char* text) { return s_impl->SetErrorReporting(text); }
SCmdResponse CSim7100::GetServiceProvider() { return s_impl->GetServiceProvider(); }
SCmdResponse CSim7100::GetNetworkMode() { return s_impl->GetNetworkMode(); }
SCmdResponse CSim7100::SetClock(const SSetClockRequest* r) { return s_impl->SetClock(r); }
SCmdResponse CSim7100::GpsDownloadXtra() { return s_impl->GpsDownloadXtra(); }
SCmdResponse CSim7100::SetTimeServer(const SSetTimeServerRequest* r) { return s_impl->SetTimeServer(r); }
SCmdResponse CSim7100::UpdateTime() { return s_impl->UpdateTime(); }
SCmdResponse CSim7100::GetSmsMode() { return s_impl->GetSmsMode(); }
SCmdResponse CSim7100::SetSmsMode(const SSetSmsModeRequest* r) { return s_impl->SetSmsMode(r); }
SCmdResponse CSim7100::ListSms(const SListSmsRequest* r) { return s_impl->ListSms(r); }
SCmdResponse CSim7100::ReadSms(const SReadSmsRequest* r) { return s_impl->ReadSms(r); }
SCmdResponse CSim7100::DeleteSms(const SDeleteSmsRequest* r) { return s_impl->DeleteSms(r); }
SCmdResponse CSim7100::WriteSms(const SWriteSmsRequest* r) { return s_impl->WriteSms(r); }
