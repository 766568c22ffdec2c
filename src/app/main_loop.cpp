// The title menu's loop: the rest of the run after the opening scene.
#include "app/app.h"
#include "audio/sound.h"
#include "frontend/title.h"
#include "match/match.h"
#include "shell/keyboard.h"
#include "shell/pacing.h"

void TitleMenu::Run() {
  Show();
  for (;;) {
    if (TitleMenuHook) TitleMenuHook();
    // Player 0 first, then player 1; each player's up, down and select keys in that order.
    for (int player = 0; player < 2; ++player) {
      uint8_t up = PlayerKey(player, RoleUp);
      uint8_t down = PlayerKey(player, RoleDown);
      uint8_t select = PlayerKey(player, RoleFire);
      if (KeyState[up]) {
        KeyState[up] = 0;
        MoveCursor(-1);
      }
      if (KeyState[down]) {
        KeyState[down] = 0;
        MoveCursor(+1);
      }
      if (KeyState[select]) {
        KeyState[select] = 0;
        Sound::Play(SoundMenuSelect);
        switch (cursor) {
          case 0:  // START
            ReleaseFrames();
            Match.RunMatch();
            // Keys still held when the match ended were pressed for the match, not the menu.
            for (int p = 0; p < 2; ++p)
              for (int role : {RoleUp, RoleDown, RoleFire}) KeyState[PlayerKey(p, role)] = 0;
            Show();
            break;
          case 1:  // CONFIG: it has already drawn the menu again with START highlighted
            RunConfig();
            cursor = 0;
            break;
          case 2:  // QUIT
            QuitGame();
        }
      }
    }
    WaitFrame(0);
  }
}
