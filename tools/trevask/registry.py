"""The registry value TREVASK.EXE changes, as the tools name it."""

# Under HKEY_LOCAL_MACHINE.
DRIVER_KEY_PATH = r"System\CurrentControlSet\Services\Tv38_410\Parameters\Device"
# As reg.exe takes it.
DRIVER_KEY = "HKLM\\" + DRIVER_KEY_PATH
VALUE_NAME = "DriverParameter"
# The driver's service key, two above the one that holds the value.
SERVICE_KEY_PATH = DRIVER_KEY_PATH.rsplit("\\", 2)[0]
SERVICE_KEY = "HKLM\\" + SERVICE_KEY_PATH
