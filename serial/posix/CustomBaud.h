#pragma once

// Sets both directions of the device to any rate in bits per second; 0 or an errno.
int SetCustomBaudRate(int fd, int rate);
// The output rate the device is set to, in bits per second; 0 or an errno.
int GetBaudRate(int fd, int& rate);
