/* Motion: a headless analytics program. It opens every channel of a
   kind-7100 device (up to sixteen) without a window, takes each decoded
   picture through the picture callback, and prints once a second a motion
   figure per channel: the mean change of brightness, 0 to 255, between a
   channel's two latest pictures, on a grid of every fourth pixel.
     motion HOST PORT USER PASSWORD SECONDS
   Exit status 0 when every channel gave pictures, 1 otherwise or when a
   call failed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <vkt7100sdk.h>
#include <vkt7100sdk_callbacks.h>

#define MAX_CHANNELS 16
#define GRID 4

/* One channel's state. The callback of a channel runs on one SDK thread at
   a time, so `previous` needs no lock; the figures the main thread prints
   are guarded by `lock`. */
typedef struct Channel {
  unsigned char* previous;  /* brightness on the grid, of the last picture */
  size_t samples;
  double motion;
  unsigned pictures;
} Channel;

static Channel channels[MAX_CHANNELS];
static CRITICAL_SECTION lock;

static void VKT_CALL OnPicture(void* handle, const VKT_PICTURE* picture, void* user) {
  (void)handle;
  (void)user;
  if (picture->channel >= MAX_CHANNELS) return;
  Channel* channel = &channels[picture->channel];
  const size_t columns = (picture->width + GRID - 1) / GRID, rows = (picture->height + GRID - 1) / GRID;
  const size_t samples = columns * rows;
  if (samples != channel->samples) { /* first picture, or a new size: nothing to compare with */
    free(channel->previous);
    channel->previous = calloc(samples, 1);
    channel->samples = channel->previous ? samples : 0;
  }
  if (!channel->previous) return;
  unsigned long long change = 0;
  for (size_t row = 0; row < rows; ++row) {
    const unsigned char* line = picture->pixels + row * GRID * picture->stride;
    for (size_t column = 0; column < columns; ++column) {
      const unsigned char* bgr = line + column * GRID * 3;
      const unsigned char brightness = (unsigned char)((bgr[0] + 2 * bgr[1] + bgr[2]) / 4);
      unsigned char* kept = &channel->previous[row * columns + column];
      change += (unsigned)abs(brightness - *kept);
      *kept = brightness;
    }
  }
  EnterCriticalSection(&lock);
  channel->motion = (double)change / (double)samples;
  ++channel->pictures;
  LeaveCriticalSection(&lock);
}

/* The timer of this window prints the figures; the message loop ends with
   the last second. */
static unsigned secondsLeft;
static unsigned channelCount;

static LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_TIMER) return DefWindowProcA(window, message, wParam, lParam);
  EnterCriticalSection(&lock);
  printf("motion");
  for (unsigned c = 0; c < channelCount; ++c) printf("  ch%u %.1f", c, channels[c].motion);
  printf("\n");
  LeaveCriticalSection(&lock);
  fflush(stdout);
  if (--secondsLeft == 0) PostQuitMessage(0);
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: motion HOST PORT USER PASSWORD SECONDS\n");
    return 2;
  }
  secondsLeft = (unsigned)strtoul(argv[5], NULL, 10);
  InitializeCriticalSection(&lock);
  WNDCLASSA windowClass = {0};
  windowClass.lpfnWndProc = TimerWindowProc;
  windowClass.lpszClassName = "MotionTimer";
  RegisterClassA(&windowClass);
  HWND timer = CreateWindowExA(0, "MotionTimer", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);

  void* handle = NULL;
  const char* step = "VKT_CreateHandle";
  int32_t result = VKT_CreateHandle(VKT_KIND_JPEG, &handle);
  if (result == VKT_OK) {
    step = "VKT_OpenServer";
    result = VKT_OpenServer(handle, argv[1], atoi(argv[2]), argv[3], argv[4]);
  }
  if (result == VKT_OK) {
    ServerInfo info = {0};
    info.size = sizeof info;
    VKT_GetServerInfo(handle, &info);
    channelCount = info.channelCount < MAX_CHANNELS ? info.channelCount : MAX_CHANNELS;
  }
  for (unsigned c = 0; result == VKT_OK && c < channelCount; ++c) {
    step = "VKT_OpenChannelWithoutWindow";
    VKT_SetPictureCallback(handle, c, OnPicture, NULL);
    /* A quarter of each side is plenty to tell motion. */
    result = VKT_OpenChannelWithoutWindow(handle, c, 4);
  }
  unsigned silent = 0;
  if (result == VKT_OK && secondsLeft > 0) {
    SetTimer(timer, 1, 1000, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  }
  /* After the channels close no callback runs: the figures are final. */
  for (unsigned c = 0; handle && c < channelCount; ++c) VKT_CloseChannel(handle, c);
  for (unsigned c = 0; c < channelCount; ++c) {
    silent += channels[c].pictures == 0;
    free(channels[c].previous);
  }
  if (handle) VKT_CloseServer(handle);
  DestroyWindow(timer);
  DeleteCriticalSection(&lock);
  if (result != VKT_OK) {
    fprintf(stderr, "motion: %s returned 0x%08X\n", step, (unsigned)result);
    return 1;
  }
  if (silent || channelCount == 0) {
    fprintf(stderr, "motion: %u of %u channels gave no picture\n", silent, channelCount);
    return 1;
  }
  return 0;
}
