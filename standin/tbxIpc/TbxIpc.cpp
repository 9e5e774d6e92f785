// The plain functions of the client library. Each one can be made to fail through
// TBX_STANDIN_FAIL under its own name (for instance "IpcSendData").
#include "ipc/TbxIpc.h"

#include "IpcClientCore.h"
#include "IpcFrame.h"
#include "IpcLog.h"
#include "IpcStates.h"
#include "tbxUtil/StandinSupport.h"

namespace {

bool Simulated(const char* operation) {
  if (!tbx::standin::ShouldFail(operation)) {
    return false;
  }
  ipc::Log(std::string(operation) + " fails as TBX_STANDIN_FAIL asks");
  return true;
}

int32_t SendText(const char* operation, uint8_t kind, const char* text, uint32_t length) {
  if (text == nullptr && length != 0) {
    return kIpcInvalidArgument;
  }
  if (Simulated(operation)) {
    return kIpcSimulatedFailure;
  }
  return CIpcClientCore::Instance().Send(kind, std::string(text == nullptr ? "" : text, length));
}

}  // namespace

int32_t SetLogCallback(IpcLogCallback callback) {
  ipc::SetLogSink(callback);
  return kIpcOk;
}

int32_t InitIpcClient(const IpcInitParam* param) {
  if (Simulated("InitIpcClient")) {
    return kIpcSimulatedFailure;
  }
  return CIpcClientCore::Instance().Init(param);
}

int32_t ConnectIpcServer(const std::string& serverName) {
  if (Simulated("ConnectIpcServer")) {
    return kIpcSimulatedFailure;
  }
  return CIpcClientCore::Instance().Connect(serverName);
}

bool IsIpcClientNeedConnect() {
  return CIpcClientCore::Instance().NeedConnect();
}

int32_t IpcRegData(const char* text, uint32_t length) {
  return SendText("IpcRegData", kIpcFrameReg, text, length);
}

int32_t IpcSendData(const char* text, uint32_t length) {
  return SendText("IpcSendData", kIpcFrameData, text, length);
}

int32_t IpcSendDataEx(const std::string& data, const std::string& header) {
  if (Simulated("IpcSendDataEx")) {
    return kIpcSimulatedFailure;
  }
  return CIpcClientCore::Instance().Send(kIpcFrameDataEx, ipc::EncodeDataExPayload(header, data));
}

int32_t FreeIpcClient() {
  return CIpcClientCore::Instance().Free();
}
